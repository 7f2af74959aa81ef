// Any text as a skin name. checkSkinName either refuses it with a message or
// accepts it; for an accepted name, every one of the five files lies inside
// the Skins folder once the path is cleaned, is an ordinary file name on
// Windows too, and the description file can hold the name on one line.
//
// The input is the name in UTF-8 (invalid sequences become U+FFFD), or, after
// a little-endian byte order mark, raw UTF-16 (so lone surrogates come too).

#include "fuzzsupport.h"
#include "skin/skinexport.h"
#include "skin/codepage.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace velloran;

namespace {

QString nameOf(const std::uint8_t *data, std::size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    if (size >= 2 && data[0] == 0xff && data[1] == 0xfe) {
        QString name((qsizetype(size) - 2) / 2, Qt::Uninitialized);
        std::memcpy(name.data(), bytes + 2, std::size_t(name.size()) * 2);
        return name;
    }
    return QString::fromUtf8(bytes, qsizetype(size));
}

// Names that Windows takes for a device, whatever extension follows.
bool isWindowsDevice(const QString &fileName)
{
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|COM[0-9\u00b9\u00b2\u00b3]|LPT[0-9\u00b9\u00b2\u00b3])$"),
        QRegularExpression::CaseInsensitiveOption);
    QString stem = fileName.section(QLatin1Char('.'), 0, 0);
    while (stem.endsWith(QLatin1Char(' ')))
        stem.chop(1);
    return device.match(stem).hasMatch();
}

void requireInside(const QString &skinsFolder, const SkinFiles &files, const QString &name)
{
    const QString root = QDir::cleanPath(QDir::fromNativeSeparators(skinsFolder)) + QLatin1Char('/');
    for (const QString &path : files.all()) {
        const QString clean = QDir::cleanPath(path);
        fuzz::require(clean.startsWith(root) && clean.size() > root.size(),
                      "a file outside the Skins folder:", name + QStringLiteral(" -> ") + clean);
        const QStringList parts = clean.mid(root.size()).split(QLatin1Char('/'));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const QString &part = parts[i];
            fuzz::require(!part.isEmpty() && part != QStringLiteral("..") && part != QStringLiteral("."),
                          "an empty or relative part:", clean);
            fuzz::require(!isWindowsDevice(part), "a Windows device name:", clean);
            // Windows drops trailing dots and spaces, so such a folder
            // would not be the one named.
            fuzz::require(!part.endsWith(QLatin1Char('.')) && !part.endsWith(QLatin1Char(' ')),
                          "a part that Windows would change:", clean);
            fuzz::require(part.toUtf8().size() <= 255, "a part longer than a file name:", clean);
            for (const QChar c : part)
                fuzz::require(c.unicode() >= 0x20 && !QStringLiteral("<>:\"|?*\\").contains(c),
                              "a character Windows file names cannot hold:", clean);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString name = nameOf(data, size);
    const Status check = checkSkinName(name);

    // Paths are built for refused names too (the window shows none of them,
    // but building them must not fail).
    const QString folders[] = {skinsFolderPath(QStringLiteral("/home/user/Documents/Talvesh6Std/")),
                               QStringLiteral("C:/Users/user/Documents/Talvesh6Pro/Skins")};
    for (const QString &folder : folders) {
        const SkinFiles files = skinFiles(folder, name);
        if (check)
            requireInside(folder, files, name);
    }
    if (!check) {
        fuzz::require(!check.message().isEmpty(), "a refusal without a message");
        return 0;
    }

    // The description file names the files on lines of their own.
    const std::optional<QByteArray> encoded = CodePage::system().encode(name);
    fuzz::require(encoded.has_value(), "an accepted name the description cannot hold", name);
    fuzz::require(!encoded->contains('\r') && !encoded->contains('\n'), "a line break in a name", name);
    const QByteArray description = buildSkinDescription(*encoded, "T");
    fuzz::require(description.count("\r\n") == 6 && description.endsWith("\r\nT\r\n"),
                  "the description's lines are broken by the name", name);
    return 0;
}
