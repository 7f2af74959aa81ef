// The main window as a user meets it: its first look, Load Image, tinting
// with the sliders, and Save Skin, with the dialogs and message boxes
// replaced so the real window can be driven headless.
#include "app/prompts.h"
#include "app/surfaceview.h"
#include "app/velloran.h"
#include "imaging/imagefile.h"
#include "skin/framing.h"
#include "skin/skinbuilder.h"
#include "slider/ucslider.h"
#include "support/faultyfilesystem.h"
#include "support/offscreenscreen.h"
#include "support/testsupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <vector>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

// Answers the open dialog from a queue and remembers every message.
class RecordingPrompts final : public Prompts
{
public:
    QStringList messages;
    QStringList answers;

    void message(QWidget *, const QString &text) override { messages << text; }
    QString openPicture(QWidget *) override { return answers.isEmpty() ? QString() : answers.takeFirst(); }
};

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        documents = dir.filePath(QStringLiteral("Documents"));
        skins = documents + QStringLiteral("/Talvesh6Std/Skins");
        ASSERT_TRUE(QDir().mkpath(skins));
        templatePath = dir.filePath(QStringLiteral("DefaultSkin.txt"));
        test::writeFile(templatePath, "Font=Tahoma\r\n");
        picture = dir.filePath(QStringLiteral("picture.bmp"));
        ASSERT_TRUE(test::gradient(160, 120).save(picture));

        WindowEnvironment environment;
        environment.documentsFolder = [this] { return QDir::toNativeSeparators(documents); };
        environment.skinFile = QStringLiteral(VELLORAN_ACCENT);
        environment.descriptionTemplate = templatePath;
        window = std::make_unique<Velloran>(prompts, environment);
        ASSERT_TRUE(window->Form_Load());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void load(const QString &path)
    {
        prompts.answers << path;
        QTest::mouseClick(window->Command1, Qt::LeftButton);
    }

    struct Images
    {
        QImage main, scene, console, chat, swatch;
        bool operator==(const Images &) const = default;
    };
    Images images()
    {
        SkinBuilder &s = window->skin();
        return {s.Xpress1().image(), s.Xpress3().image(), s.Xpress4().image(), s.Xpress5().image(),
                s.Xpress2().image()};
    }

    // The thumb's centre at the slider's current value.
    static QPoint thumbCentre(const ucSlider *slider)
    {
        const double left = (slider->Value() + 100) * (slider->width() - 26) / 200.0;
        return {int(left) + 13, 12};
    }

    QTemporaryDir dir;
    QString documents, skins, templatePath, picture;
    RecordingPrompts prompts;
    std::unique_ptr<Velloran> window;
};

TEST_F(WindowTest, FirstLookHasEveryControlInPlace)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Talvesh 6 Velloran v1.10"));
    EXPECT_EQ(window->size(), QSize(1163, 898));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->windowIcon().availableSizes().size(), 2);

    const std::pair<QWidget *, QRect> places[] = {
        {window->Command1, {26, 22, 81, 33}},    {window->Command2, {789, 20, 81, 33}},
        {window->Text1, {625, 28, 154, 24}},     {window->ucSlider1, {479, 1, 117, 25}},
        {window->ucSlider2, {478, 24, 117, 25}}, {window->ucSlider3, {479, 49, 117, 25}},
        {window->Xpress1View, {274, 74, 848, 635}}, {window->Xpress3View, {4, 77, 260, 533}},
        {window->Xpress5View, {404, 711, 471, 186}}, {window->Xpress4View, {68, 738, 322, 130}},
        {window->Xpress2View, {181, 16, 163, 38}},  {window->SCLabel1, {405, 5, 71, 19}},
        {window->SCLabel2, {364, 25, 107, 19}},  {window->SCLabel3, {370, 49, 107, 19}},
        {window->SCLabel7, {644, 6, 109, 19}},   {window->SCLabel4, {885, 721, 233, 41}},
        {window->SCLabel5, {884, 766, 233, 41}}, {window->SCLabel6, {884, 815, 233, 56}},
    };
    for (const auto &[widget, place] : places) {
        EXPECT_EQ(widget->geometry(), place) << widget->metaObject()->className();
        EXPECT_TRUE(widget->isVisible());
    }
    // Nothing moves when the window is resized.
    window->resize(700, 500);
    QApplication::processEvents();
    for (const auto &[widget, place] : places)
        EXPECT_EQ(widget->geometry(), place);

    EXPECT_EQ(window->Command1->text(), QStringLiteral("Load Image"));
    EXPECT_EQ(window->Command2->text(), QStringLiteral("Save Skin"));
    EXPECT_EQ(window->Text1->text(), QString());
    EXPECT_TRUE(window->Text1->font().bold());
    EXPECT_EQ(window->Text1->font().pointSize(), 12);
    EXPECT_EQ(window->SCLabel1->text(), QStringLiteral("Menu Hue"));
    EXPECT_EQ(window->SCLabel7->text(), QStringLiteral("Name Your Skin"));
    EXPECT_TRUE(window->SCLabel6->wordWrap());
    EXPECT_FALSE(window->SCLabel2->wordWrap());
    EXPECT_TRUE(window->SCLabel4->font().bold());
    EXPECT_DOUBLE_EQ(window->SCLabel4->font().pointSizeF(), 9.75);
    EXPECT_EQ(window->SCLabel4->font().family(), QStringLiteral("Arial"));

    for (ucSlider *slider : {window->ucSlider1, window->ucSlider2, window->ucSlider3}) {
        EXPECT_FALSE(slider->Enabled());
        EXPECT_EQ(slider->Value(), 0);
        EXPECT_EQ(slider->Min(), -100);
        EXPECT_EQ(slider->Max(), 100);
        EXPECT_EQ(slider->Orientation(), 0);
        EXPECT_EQ(slider->RailStyle(), 99);
        EXPECT_TRUE(slider->ShowValueTip());
        EXPECT_EQ(slider->SliderImage().size(), QSize(26, 25));
        EXPECT_EQ(slider->RailImage().size(), QSize(113, 18));
        EXPECT_EQ(slider->focusPolicy(), Qt::NoFocus);
    }

    const SkinBuilder &s = window->skin();
    EXPECT_EQ(s.Xpress2().image(), s.Picture1());
    EXPECT_TRUE(s.Xpress1().isEmpty() && s.Xpress3().isEmpty() && s.Xpress4().isEmpty() && s.Xpress5().isEmpty());
    EXPECT_EQ(window->HostDataFolder(),
              QDir::toNativeSeparators(documents + QStringLiteral("/Talvesh6Std/")));
    EXPECT_TRUE(window->windowSkin().loaded());
}

// What is typed in the name box shows whole, descenders included: its
// letters take as many rows as in a box of the same look tall enough for
// any font.
TEST_F(WindowTest, TheNameBoxShowsLettersWithTheirDescenders)
{
    const auto inkRows = [](QLineEdit *edit) {
        const QImage image = edit->grab().toImage();
        int rows = 0;
        for (int y = 2; y < image.height() - 2; ++y) {
            bool ink = false;
            for (int x = 6; x < image.width() - 6; ++x)
                ink |= qGray(image.pixel(x, y)) < 250;
            rows += ink;
        }
        return rows;
    };
    QLineEdit tall(window->clientArea());
    tall.setObjectName(window->Text1->objectName()); // the same style sheet rules
    tall.setFont(window->Text1->font());
    tall.setGeometry(0, 0, window->Text1->width(), 60);
    for (const QString &text : {QStringLiteral("gjpqy_"), QStringLiteral("Agjpqy_"), QStringLiteral("___")}) {
        window->Text1->setText(text);
        tall.setText(text);
        EXPECT_EQ(inkRows(window->Text1), inkRows(&tall)) << text.toStdString();
    }
}

TEST_F(WindowTest, FocusStartsOnLoadImageAndTabsToSaveSkinThenTheName)
{
    QApplication::setActiveWindow(window.get());
    EXPECT_EQ(window->focusWidget(), window->Command1);
    EXPECT_EQ(window->Command1->nextInFocusChain(), window->Command2);
    QWidget *next = window->Command2->nextInFocusChain();
    while (next->focusPolicy() == Qt::NoFocus)
        next = next->nextInFocusChain();
    EXPECT_EQ(next, window->Text1);
}

TEST_F(WindowTest, CancellingTheDialogChangesNothing)
{
    const Images before = images();
    load(QString());
    EXPECT_EQ(images(), before);
    EXPECT_FALSE(window->ucSlider1->Enabled());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(WindowTest, LoadingFitsAndComposesTheImagesAndEnablesTheSliders)
{
    load(picture);
    const SkinBuilder &s = window->skin();
    EXPECT_EQ(s.Xpress1().image().size(), QSize(800, 629));
    EXPECT_EQ(s.Xpress3().image().size(), QSize(199, 498));
    EXPECT_EQ(s.Xpress4().image().size(), QSize(310, 105));
    EXPECT_EQ(s.Xpress5().image().size(), QSize(438, 173));
    for (ucSlider *slider : {window->ucSlider1, window->ucSlider2, window->ucSlider3})
        EXPECT_TRUE(slider->Enabled());
    // Composed: the overlay's button shows over the picture.
    EXPECT_NE(s.Xpress1().image(), s.MainPic());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(QLatin1Char('|')).toStdString();
}

TEST_F(WindowTest, AFailedLoadSaysWhyAndKeepsEverything)
{
    load(picture);
    window->ucSlider1->SetValue(30);
    window->Text1->setText(QStringLiteral("Mine"));
    const Images before = images();

    const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
    test::writeFile(broken, "\xff\xd8\xff\xe0 not really");
    load(broken);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains(QDir::toNativeSeparators(broken))) << prompts.messages[0].toStdString();
    EXPECT_EQ(images(), before);
    EXPECT_EQ(window->ucSlider1->Value(), 30);
    EXPECT_EQ(window->Text1->text(), QStringLiteral("Mine"));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, AFailedFirstLoadLeavesTheSlidersDisabled)
{
    load(dir.filePath(QStringLiteral("missing.bmp")));
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_FALSE(window->ucSlider1->Enabled());
    EXPECT_TRUE(window->skin().Xpress1().isEmpty());
}

// A picture named on the command line or dropped on the window is loaded
// exactly as one chosen in the dialog: the same images, the same message
// for a file that cannot be loaded, the sliders enabled only on success.
TEST_F(WindowTest, APictureDroppedOrNamedOnTheCommandLineLoadsAsFromTheDialog)
{
    load(picture);
    const Images fromDialog = images();
    const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
    test::writeFile(broken, "\xff\xd8\xff\xe0 not really");
    load(broken);
    const QStringList dialogMessages = prompts.messages;
    ASSERT_EQ(dialogMessages.size(), 1);

    auto drop = [&](const QList<QUrl> &urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(400, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &dropped);
        return true;
    };
    const std::vector<std::function<void(const QString &)>> ways = {
        [&](const QString &path) { window->openPicture(path); },
        [&](const QString &path) { EXPECT_TRUE(drop({QUrl::fromLocalFile(path)})); },
    };
    for (const auto &way : ways) {
        SetUp(); // a new window, nothing loaded
        prompts.messages.clear();
        way(broken);
        EXPECT_EQ(prompts.messages, dialogMessages);
        EXPECT_FALSE(window->ucSlider1->Enabled());
        prompts.messages.clear();
        way(picture);
        EXPECT_EQ(images(), fromDialog);
        EXPECT_TRUE(window->ucSlider1->Enabled());
        EXPECT_TRUE(prompts.messages.isEmpty());
    }

    // Anything else dragged over the window is not taken.
    SetUp();
    EXPECT_FALSE(drop({}));
    EXPECT_FALSE(drop({QUrl::fromLocalFile(picture), QUrl::fromLocalFile(broken)}));
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.com/picture.jpg"))}));
    EXPECT_TRUE(window->skin().Xpress1().isEmpty());
}

TEST_F(WindowTest, DraggingTintsTheSwatchAndRecomposesOnlyOnRelease)
{
    load(picture);
    const Images before = images();
    ucSlider *hue = window->ucSlider1;
    const QPoint start = thumbCentre(hue);

    QTest::mousePress(hue, Qt::LeftButton, {}, start);
    QImage lastSwatch = images().swatch;
    for (int dx : {10, 20, 30}) {
        QTest::mouseMove(hue, start + QPoint(dx, 0));
        EXPECT_NE(hue->Value(), 0);
        EXPECT_NE(images().swatch, lastSwatch) << dx;
        lastSwatch = images().swatch;
        EXPECT_EQ(images().main, before.main);
        EXPECT_EQ(images().chat, before.chat);
    }
    QTest::mouseRelease(hue, Qt::LeftButton, {}, start + QPoint(30, 0));
    EXPECT_NE(images().main, before.main);
    EXPECT_NE(images().scene, before.scene);

    // Back to where it was: the same images as before.
    QTest::mousePress(hue, Qt::LeftButton, {}, thumbCentre(hue));
    QTest::mouseMove(hue, start);
    QTest::mouseRelease(hue, Qt::LeftButton, {}, start);
    EXPECT_EQ(hue->Value(), 0);
    EXPECT_EQ(images(), before);
}

TEST_F(WindowTest, PressAndReleaseWithoutMovingGivesTheSameImages)
{
    load(picture);
    window->ucSlider3->SetValue(-40);
    QTest::mouseClick(window->ucSlider3, Qt::LeftButton, {}, thumbCentre(window->ucSlider3));
    const Images tinted = images();
    QTest::mouseClick(window->ucSlider3, Qt::LeftButton, {}, thumbCentre(window->ucSlider3));
    EXPECT_EQ(images(), tinted);
    EXPECT_EQ(window->ucSlider3->Value(), -40);
}

TEST_F(WindowTest, SavingNeedsANameThenExportsAndClearsIt)
{
    load(picture);
    QTest::mouseClick(window->Command2, Qt::LeftButton);
    EXPECT_EQ(prompts.messages, QStringList{QStringLiteral("Enter a name for your Skin.")});
    EXPECT_TRUE(test::snapshot(skins).isEmpty());

    prompts.messages.clear();
    window->Text1->setText(QStringLiteral("Blue"));
    QTest::mouseClick(window->Command2, Qt::LeftButton);
    EXPECT_EQ(prompts.messages, QStringList{QStringLiteral("Your skin has been exported to Talvesh.")});
    EXPECT_EQ(window->Text1->text(), QString());
    EXPECT_EQ(test::snapshot(skins).keys(),
              (QStringList{QStringLiteral("Blue.skn"), QStringLiteral("BlueChat.bmp"),
                           QStringLiteral("BlueConsole.bmp"), QStringLiteral("BlueMain.bmp"),
                           QStringLiteral("BlueScene.bmp")}));
}

// Only an empty name is asked for; a name that cannot be used is a failed
// export like any other, and the name stays for the user to correct.
TEST_F(WindowTest, AnEmptyNameIsAskedForAndABadOneReportedAsNotExported)
{
    load(picture);
    const struct
    {
        QString name;
        QString told;
    } cases[] = {
        {QString(), QStringLiteral("Enter a name for your Skin.")},
        {QStringLiteral("a:b"), QStringLiteral("The skin was not exported. The skin name cannot contain the "
                                               "character \":\": file names cannot hold it.")},
        {QStringLiteral("con"), QStringLiteral("The skin was not exported. \"con\" is a device name on Windows "
                                               "and cannot name a skin.")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        prompts.messages.clear();
        window->Text1->setText(c.name);
        QTest::mouseClick(window->Command2, Qt::LeftButton);
        EXPECT_EQ(prompts.messages, QStringList{c.told});
        EXPECT_EQ(window->Text1->text(), c.name);
        EXPECT_TRUE(test::snapshot(skins).isEmpty());
    }
}

TEST_F(WindowTest, AFailedSaveSaysWhyAndKeepsTheUsersWork)
{
    load(picture);
    window->ucSlider2->SetValue(55);
    window->Text1->setText(QStringLiteral("Blue"));
    ASSERT_TRUE(QDir(skins).removeRecursively());
    const Images before = images();

    QTest::mouseClick(window->Command2, Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains(QStringLiteral("Skins"))) << prompts.messages[0].toStdString();
    EXPECT_EQ(window->Text1->text(), QStringLiteral("Blue"));
    EXPECT_EQ(window->ucSlider2->Value(), 55);
    EXPECT_EQ(images(), before);

    // Once the folder is back, the same work saves.
    ASSERT_TRUE(QDir().mkpath(skins));
    QTest::mouseClick(window->Command2, Qt::LeftButton);
    EXPECT_EQ(prompts.messages.last(), QStringLiteral("Your skin has been exported to Talvesh."));
}

// A right click on a window image opens its framing menu.
QMenu *rightClick(Velloran &window, HostWindow w)
{
    SurfaceView *view = window.view(w);
    const QPoint at(30, 30);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
    QApplication::sendEvent(view, &event);
    return window.framingMenu();
}

QAction *menuAction(QMenu *menu, const char *text)
{
    for (QAction *a : menu->actions())
        if (a->text() == QLatin1StringView(text))
            return a;
    return nullptr;
}

// The framing menu: its four entries, the window's own way checked; Fill
// frames the kept picture at one scale and shows a hand; the swatch has no
// menu.
TEST_F(WindowTest, ARightClickFramesAWindowImage)
{
    load(picture);
    const Images stretched = images();
    QMenu *menu = rightClick(*window, HostWindow::Scene);
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            texts << a->text();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Stretch to fit"), QStringLiteral("Fill without distortion"),
                                  QStringLiteral("Fill all four windows"), QStringLiteral("Stretch all four windows")}));
    EXPECT_TRUE(menuAction(menu, "Stretch to fit")->isChecked());
    EXPECT_FALSE(menuAction(menu, "Fill without distortion")->isChecked());

    menuAction(menu, "Fill without distortion")->trigger();
    SkinBuilder &s = window->skin();
    EXPECT_EQ(s.frame(HostWindow::Scene).mode, FitMode::Fill);
    EXPECT_EQ(s.ScenePic(), framePicture(s.keptPicture(), kSceneImageSize, {FitMode::Fill, {}}));
    EXPECT_NE(images().scene, stretched.scene);
    EXPECT_EQ(images().main, stretched.main) << "the other windows stay as they were";
    EXPECT_EQ(window->view(HostWindow::Scene)->cursor().shape(), Qt::OpenHandCursor);
    menu->close();

    menu = rightClick(*window, HostWindow::Scene);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menuAction(menu, "Fill without distortion")->isChecked());
    menuAction(menu, "Stretch to fit")->trigger();
    EXPECT_EQ(images(), stretched) << "stretched again, to the byte";
    EXPECT_FALSE(window->view(HostWindow::Scene)->testAttribute(Qt::WA_SetCursor));
    menu->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->framingMenu(); })) << "a closed menu goes";

    QContextMenuEvent onSwatch(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(window->Xpress2View, &onSwatch);
    EXPECT_FALSE(window->framingMenu()) << "the colour swatch frames nothing";
}

// Dragging a filled window image moves the picture with the pointer, under
// buttons that stay; a stretched one does not move; "all four" entries set
// every window; a new picture keeps the modes and starts centred.
TEST_F(WindowTest, DraggingAFilledWindowImageMovesThePicture)
{
    ASSERT_TRUE(test::gradient(400, 150).save(picture)); // wide: the scene window crops a lot
    load(picture);
    const Images stretched = images();
    QMenu *menu = rightClick(*window, HostWindow::Main);
    ASSERT_NE(menu, nullptr);
    menuAction(menu, "Fill all four windows")->trigger();
    menu->close();
    SkinBuilder &s = window->skin();
    for (const HostWindowInfo &info : kHostWindows)
        EXPECT_EQ(s.frame(info.window).mode, FitMode::Fill);

    SurfaceView *scene = window->view(HostWindow::Scene);
    const QImage before = s.Xpress3().image();
    QTest::mousePress(scene, Qt::LeftButton, {}, QPoint(100, 200));
    QTest::mouseMove(scene, QPoint(130, 200));
    QTest::mouseMove(scene, QPoint(160, 205));
    QTest::mouseRelease(scene, Qt::LeftButton, {}, QPoint(160, 205));
    EXPECT_LT(s.frame(HostWindow::Scene).focus.x, 0.5) << "dragged right: the crop moved left";
    EXPECT_NE(s.Xpress3().image(), before);
    EXPECT_EQ(s.ScenePic(), framePicture(s.keptPicture(), kSceneImageSize, s.frame(HostWindow::Scene)));

    // What the window shows is what the export writes.
    window->Text1->setText(QStringLiteral("Framed"));
    QTest::mouseClick(window->Command2, Qt::LeftButton);
    ASSERT_TRUE(QFile::exists(skins + QStringLiteral("/FramedScene.bmp"))) << prompts.messages.join(u'\n').toStdString();
    EXPECT_EQ(decodeImageFile(skins + QStringLiteral("/FramedScene.bmp")).value().convertToFormat(QImage::Format_RGB32),
              s.Xpress3().image().convertToFormat(QImage::Format_RGB32));

    ASSERT_TRUE(test::gradient(150, 400).save(picture));
    load(picture);
    for (const HostWindowInfo &info : kHostWindows)
        EXPECT_EQ(s.frame(info.window), (WindowFrame{FitMode::Fill, {}}));

    menu = rightClick(*window, HostWindow::Chat);
    ASSERT_NE(menu, nullptr);
    menuAction(menu, "Stretch all four windows")->trigger();
    menu->close();
    const QImage main = s.Xpress1().image();
    SurfaceView *mainView = window->view(HostWindow::Main);
    QTest::mousePress(mainView, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(mainView, QPoint(150, 120));
    QTest::mouseRelease(mainView, Qt::LeftButton, {}, QPoint(150, 120));
    EXPECT_EQ(s.Xpress1().image(), main) << "a stretched window image does not move";
    EXPECT_NE(images(), stretched) << "another picture";
}

TEST(WindowStartUp, WithoutAHostFolderTellsTheUserToInstallIt)
{
    QTemporaryDir documents;
    RecordingPrompts prompts;
    WindowEnvironment environment;
    environment.documentsFolder = [&] { return documents.path(); };
    environment.skinFile = documents.filePath(QStringLiteral("missing.skf")); // keeps the platform look
    Velloran window(prompts, environment);
    EXPECT_FALSE(window.windowSkin().loaded());
    EXPECT_FALSE(window.Form_Load());
    EXPECT_EQ(prompts.messages, QStringList{QStringLiteral("Please install Talvesh 6 or Talvesh 6 Pro.")});
    EXPECT_FALSE(window.isVisible());
}

// An export that a crash cut short, after it had replaced the main image:
// the next start of the window undoes it before the window shows and tells
// the user once; the start after that has nothing to tell.
TEST(WindowStartUp, UndoesAnInterruptedExportAndSaysSo)
{
    QTemporaryDir dir;
    const QString documents = dir.filePath(QStringLiteral("Documents"));
    const QString skins = documents + QStringLiteral("/Talvesh6Std/Skins");
    ASSERT_TRUE(QDir().mkpath(skins));
    const QString host = QDir::toNativeSeparators(documents + QStringLiteral("/Talvesh6Std/"));
    const QString templatePath = dir.filePath(QStringLiteral("DefaultSkin.txt"));
    test::writeFile(templatePath, "Font=Tahoma\r\n");
    const QString picture = dir.filePath(QStringLiteral("picture.bmp"));
    ASSERT_TRUE(test::gradient(160, 120).save(picture));

    SkinBuilder builder(SkinTemplates::compiledIn());
    ASSERT_TRUE(builder.LoadImage(picture, {}).ok());
    ASSERT_TRUE(builder.SaveSkin(QStringLiteral("Blue"), host, templatePath).ok());
    const auto earlier = test::snapshot(skins);
    builder.RecomposeWindowImages({40, 0, 0});
    test::FaultyFileSystem fs;
    fs.failIf = [](const QString &step) {
        if (step.startsWith(QStringLiteral("replace")) && step.contains(QStringLiteral("-1.tmp ")))
            throw test::Died{};
        return false;
    };
    builder.setFileSystem(&fs);
    EXPECT_THROW((void)builder.SaveSkin(QStringLiteral("Blue"), host, templatePath), test::Died);
    ASSERT_NE(test::snapshot(skins), earlier);

    WindowEnvironment environment;
    environment.documentsFolder = [&] { return QDir::toNativeSeparators(documents); };
    environment.skinFile = QStringLiteral(VELLORAN_ACCENT);
    environment.descriptionTemplate = templatePath;
    for (int start = 0; start < 2; ++start) {
        RecordingPrompts prompts;
        Velloran window(prompts, environment);
        ASSERT_TRUE(window.Form_Load());
        EXPECT_EQ(test::snapshot(skins), earlier);
        if (start == 0) {
            ASSERT_EQ(prompts.messages.size(), 1);
            EXPECT_TRUE(prompts.messages[0].contains(
                QStringLiteral("was undone: the earlier files of the skin \"Blue\" are back as they were.")))
                << prompts.messages[0].toStdString();
        } else {
            EXPECT_EQ(prompts.messages, QStringList());
        }
    }
}

// A style that puts pictograms on dialog buttons, as desktop styles do.
class ButtonIconStyle final : public QProxyStyle
{
public:
    ButtonIconStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returned) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// The program's message boxes as they show: the caption "Velloran", the
// text, one OK button, and no pictogram on the box or on its button, even
// under a style that would put one there.
TEST(MessageBox, HasOneOkButtonAndNoIconAnywhere)
{
    const QString styleBefore = QApplication::style()->name();
    QApplication::setStyle(new ButtonIconStyle);
    QString caption, text;
    QList<QAbstractButton *> buttons;
    bool buttonIcon = true, boxIcon = true;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        buttons = box->buttons();
        boxIcon = box->icon() != QMessageBox::NoIcon;
        buttonIcon = box->button(QMessageBox::Ok) && !box->button(QMessageBox::Ok)->icon().isNull();
        box->accept();
    });
    Prompts::onScreen().message(nullptr, QStringLiteral("Your skin has been exported to Talvesh."));
    EXPECT_EQ(caption, QStringLiteral("Velloran"));
    EXPECT_EQ(text, QStringLiteral("Your skin has been exported to Talvesh."));
    EXPECT_EQ(buttons.size(), 1);
    EXPECT_FALSE(boxIcon);
    EXPECT_FALSE(buttonIcon);
    QApplication::setStyle(styleBefore);
}

TEST(PictureDialog, ListsBitmapsAndJpegsWhateverTheCaseOfTheirNames)
{
    QTemporaryDir folder;
    for (const char *name : {"IMG_0001.JPG", "holiday.jpg", "Logo.Bmp", "notes.txt", "photo.png"})
        test::writeFile(folder.filePath(QString::fromLatin1(name)), "x");
    QFileDialog dialog;
    configurePictureDialog(dialog);
    EXPECT_EQ(dialog.nameFilters().size(), 1);
    dialog.setDirectory(folder.path());
    dialog.show();

    auto *view = dialog.findChild<QAbstractItemView *>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    QStringList listed;
    const bool populated = QTest::qWaitFor([&] {
        listed.clear();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            listed << view->model()->index(row, 0, root).data().toString();
        listed.sort();
        return listed.size() >= 3;
    });
    EXPECT_TRUE(populated);
    EXPECT_EQ(listed, (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("Logo.Bmp"),
                                   QStringLiteral("holiday.jpg")}));
}

} // namespace
