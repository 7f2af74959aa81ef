#pragma once

#include <QString>

namespace velloran {

// The folder of the running program, in native form, without a trailing
// separator.
QString programFolder();

// The path of a data file shipped with the program (Accent.skf,
// DefaultSkin.txt): beside the executable, or, in an installed Linux layout,
// in share/velloran/ next to the bin/ folder when it is not beside it.
QString programDataFile(const QString &fileName);

} // namespace velloran
