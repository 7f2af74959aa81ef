// velloran-cli: builds a skin without a window, with the same code the
// window uses: load a picture, tint the overlays, export under a name.
#include "startup/hostfolder.h"
#include "startup/programfiles.h"
#include "skin/framing.h"
#include "skin/hostwindows.h"
#include "skin/skinbuilder.h"
#include "skin/skinexport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <array>
#include <cstdio>
#include <optional>
#include <vector>

using namespace velloran;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Qt's image readers tell of what they stumble over as warnings on stderr
// ("libpng error: ..."); the program reports every failure itself, in one
// line, so only Qt's critical and fatal messages get through.
QtMessageHandler qtHandler = nullptr;

void onQtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if ((type == QtCriticalMsg || type == QtFatalMsg) && qtHandler)
        qtHandler(type, context, message);
}

int fail(int code, const QString &message)
{
    QTextStream(stderr) << "velloran-cli: " << message << Qt::endl;
    return code;
}

// A slider position: a whole number from -100 to 100.
std::optional<int> sliderValue(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < -100 || value > 100)
        return std::nullopt;
    return value;
}

// "stretch" or "fill".
std::optional<FitMode> fitMode(const QString &text)
{
    if (text == QLatin1StringView("stretch"))
        return FitMode::Stretch;
    if (text == QLatin1StringView("fill"))
        return FitMode::Fill;
    return std::nullopt;
}

// The window's name in option names: "main", "scene", "console", "chat".
QString optionName(const HostWindowInfo &window)
{
    return QString(window.fileSuffix).toLower();
}

} // namespace

int main(int argc, char **argv)
{
    qtHandler = qInstallMessageHandler(onQtMessage);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velloran-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.10"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Builds a Talvesh 6 skin from a BMP or JPEG picture and writes its four window images\n"
        "and its .skn file into the Skins folder of the host's data folder."));
    const QCommandLineOption hue(QStringLiteral("hue"),
                                 QStringLiteral("Menu hue, -100 to 100 (default 0)."),
                                 QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption saturation(QStringLiteral("saturation"),
                                        QStringLiteral("Menu saturation, -100 to 100 (default 0)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption lightness(QStringLiteral("lightness"),
                                       QStringLiteral("Menu lightness, -100 to 100 (default 0)."),
                                       QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption documents(
        QStringLiteral("documents"),
        QStringLiteral("Documents folder to look for Talvesh6Std or Talvesh6Pro in "
                       "(default: the user's Documents folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption templateFile(
        QStringLiteral("template"),
        QStringLiteral("Skin description template (default: DefaultSkin.txt beside the program)."),
        QStringLiteral("FILE"));
    parser.addOptions({hue, saturation, lightness, documents, templateFile});
    // How the picture is framed, for all four window images or for one.
    const QCommandLineOption fit(
        QStringLiteral("fit"),
        QStringLiteral("How the picture fits every window image: stretch (the default: the whole "
                       "picture, stretched to the window's size) or fill (scaled by one factor to "
                       "cover the window, the overflow cropped)."),
        QStringLiteral("MODE"));
    const QCommandLineOption focus(
        QStringLiteral("focus"),
        QStringLiteral("Where a filled window's crop is centred, as fractions of the picture's "
                       "width and height from 0 to 1 (default 0.5,0.5: the middle; 0 and 1 put "
                       "the crop against an edge)."),
        QStringLiteral("X,Y"));
    parser.addOptions({fit, focus});
    std::vector<QCommandLineOption> fitOne, focusOne;
    for (const HostWindowInfo &w : kHostWindows) {
        fitOne.emplace_back(QStringLiteral("fit-") + optionName(w),
                            QStringLiteral("--fit for the %1 window image only.").arg(optionName(w)),
                            QStringLiteral("MODE"));
        focusOne.emplace_back(QStringLiteral("focus-") + optionName(w),
                              QStringLiteral("--focus for the %1 window image only.").arg(optionName(w)),
                              QStringLiteral("X,Y"));
    }
    parser.addOptions(QList<QCommandLineOption>(fitOne.begin(), fitOne.end()));
    parser.addOptions(QList<QCommandLineOption>(focusOne.begin(), focusOne.end()));
    // The help option of its own: the parser's also lists --help-all, for
    // the options of Qt's graphical platforms, which a program without a
    // window has none of.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("IMAGE"), QStringLiteral("The picture, BMP or JPEG."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The skin's name."));

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(kExitUsage, parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << "velloran-cli 1.10" << Qt::endl;
        return 0;
    }
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2)
        return fail(kExitUsage, QStringLiteral("expected IMAGE and NAME, got %1 argument(s) (see --help)")
                                    .arg(arguments.size()));

    HslAdjustment tint;
    const std::pair<const QCommandLineOption *, int *> sliders[] = {
        {&hue, &tint.hue}, {&saturation, &tint.saturation}, {&lightness, &tint.lightness}};
    for (const auto &[option, target] : sliders) {
        const std::optional<int> value = sliderValue(parser.value(*option));
        if (!value)
            return fail(kExitUsage, QStringLiteral("--%1 must be a whole number from -100 to 100, not \"%2\"")
                                        .arg(option->names().first(), parser.value(*option)));
        *target = *value;
    }

    // Each window's frame: its own option, else the one for all four.
    std::array<WindowFrame, 4> frames;
    for (std::size_t i = 0; i < kHostWindows.size(); ++i) {
        for (const QCommandLineOption *option : std::array<const QCommandLineOption *, 2>{&fit, &fitOne[i]}) {
            if (!parser.isSet(*option))
                continue;
            const std::optional<FitMode> mode = fitMode(parser.value(*option));
            if (!mode)
                return fail(kExitUsage, QStringLiteral("--%1 must be stretch or fill, not \"%2\"")
                                            .arg(option->names().first(), parser.value(*option)));
            frames[i].mode = *mode;
        }
        for (const QCommandLineOption *option : std::array<const QCommandLineOption *, 2>{&focus, &focusOne[i]}) {
            if (!parser.isSet(*option))
                continue;
            const std::optional<Focus> value = parseFocus(parser.value(*option));
            if (!value)
                return fail(kExitUsage,
                            QStringLiteral("--%1 must be two fractions from 0 to 1, such as 0.5,0.5, not \"%2\"")
                                .arg(option->names().first(), parser.value(*option)));
            frames[i].focus = *value;
        }
    }

    const QString imagePath = arguments[0];
    const QString name = arguments[1];
    if (Status s = checkSkinName(name); !s)
        return fail(kExitFailure, s.message());

    QString documentsFolder = GetSpecialFolderPath(kPersonalFolder);
    if (parser.isSet(documents) && parser.value(documents).isEmpty())
        return fail(kExitUsage, QStringLiteral("--documents needs the name of a folder (see --help)"));
    if (parser.isSet(documents)) {
        documentsFolder = QDir::toNativeSeparators(QDir::cleanPath(QDir(parser.value(documents)).absolutePath()));
        if (documentsFolder.endsWith(QDir::separator()))
            documentsFolder.chop(1);
    }
    const QString hostDataFolder = findHostDataFolder(documentsFolder);
    if (hostDataFolder.isEmpty())
        return fail(kExitFailure, kInstallHostMessage
                                      + QStringLiteral(" (neither Talvesh6Std nor Talvesh6Pro is in %1)")
                                            .arg(documentsFolder.isEmpty() ? QStringLiteral("\"\"")
                                                                           : documentsFolder));

    const QString templatePath = parser.isSet(templateFile)
                                     ? parser.value(templateFile)
                                     : programDataFile(QStringLiteral("DefaultSkin.txt"));

    SkinBuilder builder(SkinTemplates::compiledIn());
    // Before a load the modes are only noted, so the load fits each window
    // as asked.
    for (const HostWindowInfo &w : kHostWindows)
        builder.setFrame(w.window, {frames[indexOf(w.window)].mode, Focus{}}, tint);
    if (Status s = builder.LoadImage(imagePath, tint); !s)
        return fail(kExitFailure, s.message());
    // A load centres every filled window; then each goes where it was asked.
    for (const HostWindowInfo &w : kHostWindows) {
        const WindowFrame &frame = frames[indexOf(w.window)];
        if (frame.mode == FitMode::Fill && !(frame.focus == Focus{}) && !builder.setFrame(w.window, frame, tint))
            return fail(kExitFailure, QStringLiteral("Cannot load %1: there is not enough memory to fit the picture")
                                          .arg(QDir::toNativeSeparators(imagePath)));
    }
    ExportReport report;
    const Status saved = builder.SaveSkin(name, hostDataFolder, templatePath, &report);
    if (!report.recovered.isEmpty())
        QTextStream(stderr) << "velloran-cli: " << report.recovered << Qt::endl;
    if (!saved)
        return fail(kExitFailure, saved.message());

    QTextStream out(stdout);
    for (const QString &path : report.written)
        out << path << Qt::endl;
    return 0;
}
