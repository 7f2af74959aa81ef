// velloran-artwork FOLDER [--previews DIR]: draws the stored pictures and the
// demo picture into FOLDER.
#include "artwork/artwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"velloran-artwork"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Draws Velloran's stored pictures (overlay templates, swatch, slider thumb and rail, "
        "window icon) and the demo picture sample.jpg into FOLDER."_s);
    parser.addHelpOption();
    const QCommandLineOption previews(
        u"previews"_s, u"Also write every picture as PNG into DIR, for viewing."_s, u"DIR"_s);
    parser.addOption(previews);
    const QCommandLineOption icons(
        u"icons"_s, u"Only write the window icon for a desktop icon theme into DIR, named NAME."_s,
        u"DIR"_s);
    const QCommandLineOption iconName(u"icon-name"_s, u"The icons' file name (without .png)."_s, u"NAME"_s,
                                      u"velloran"_s);
    parser.addOption(icons);
    parser.addOption(iconName);
    parser.addPositionalArgument(u"FOLDER"_s, u"Where to write the files; created when missing."_s);
    parser.process(app);

    QTextStream err(stderr);
    if (parser.isSet(icons)) {
        const QString error = velloran::artwork::writeThemeIcons(parser.value(icons), parser.value(iconName));
        if (!error.isEmpty()) {
            err << "velloran-artwork: " << error << '\n';
            return 1;
        }
        return 0;
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.size() != 1) {
        err << "velloran-artwork: give exactly one output folder (see --help)\n";
        return 2;
    }
    QString error = velloran::artwork::writeAll(folders.first());
    if (error.isEmpty() && parser.isSet(previews))
        error = velloran::artwork::writePreviews(parser.value(previews));
    if (!error.isEmpty()) {
        err << "velloran-artwork: " << error << '\n';
        return 1;
    }
    return 0;
}
