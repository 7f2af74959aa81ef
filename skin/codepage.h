#pragma once

// The 8-bit code page that text for the host program is written in: the
// system's ANSI code page on Windows (the host is a Windows program and
// reads its files in it), Windows-1252, the Western one, elsewhere.

#include <QByteArray>
#include <QString>

#include <optional>

namespace velloran {

class CodePage
{
public:
    virtual ~CodePage() = default;

    // "Windows-1252", for messages.
    virtual QString name() const = 0;
    // The text in this code page, only when every character has a code of
    // its own there that reads back as the same character; otherwise
    // nothing, so that a caller refuses the text instead of writing a name
    // the host would read as another one.
    virtual std::optional<QByteArray> encode(const QString &text) const = 0;

    // The code page of this system.
    static const CodePage &system();
    // Windows' single-byte ANSI code pages by number: 874 and 1250 to 1258;
    // nullptr for any other number.
    static const CodePage *windows(int number);
};

} // namespace velloran
