#pragma once

// The program's look: a Qt style sheet read from the skin file Accent.skf
// beside the program, applied over a base widget style.

#include <QString>

namespace velloran {

class WindowSkin
{
public:
    // Base style under the sheet: 1 the platform's own, 2 Fusion, which
    // looks the same everywhere and follows style sheets fully.
    void SetBaseStyle(int style);
    // Where the sheet applies: 1 every window of the program.
    void SetScope(int scope);
    // Reads the skin file. A missing or unreadable file is reported on
    // standard error and leaves the platform's look in place.
    bool LoadSkinFile(const QString &path);
    // Applies what was loaded (nothing when loading failed).
    void ApplySkin();

    const QString &styleSheet() const { return m_styleSheet; }
    bool loaded() const { return m_loaded; }

private:
    int m_baseStyle = 1;
    int m_scope = 1;
    bool m_loaded = false;
    QString m_styleSheet;
};

} // namespace velloran
