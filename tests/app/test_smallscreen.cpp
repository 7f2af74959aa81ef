// The window on a screen too small for it (a 1366 x 768 laptop): it opens
// inside the screen's available area, every control keeps its place on the
// client area, and scrolling reaches every one of them.
#include "app/prompts.h"
#include "app/surfaceview.h"
#include "app/velloran.h"
#include "support/offscreenscreen.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

class SilentPrompts final : public Prompts
{
public:
    void message(QWidget *, const QString &) override {}
    QString openPicture(QWidget *) override { return {}; }
};

TEST(SmallScreen, TheWindowFitsTheScreenAndScrollsToEveryControl)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(available.size(), QSize(1366, 768));

    QTemporaryDir documents;
    ASSERT_TRUE(QDir().mkpath(documents.filePath(QStringLiteral("Talvesh6Std/Skins"))));
    SilentPrompts prompts;
    WindowEnvironment environment;
    environment.documentsFolder = [&] { return documents.path(); };
    environment.skinFile = QStringLiteral(VELLORAN_ACCENT);
    Velloran window(prompts, environment);
    ASSERT_TRUE(window.Form_Load());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_TRUE(available.contains(window.frameGeometry())) << "the window reaches outside the screen";
    EXPECT_LE(window.height(), 768);
    // The client area is narrower than the screen: the window makes room
    // for the vertical scroll bar beside it and needs no horizontal one.
    EXPECT_EQ(window.clientArea()->size(), QSize(1163, 898));
    EXPECT_EQ(window.Command2->geometry(), QRect(789, 20, 81, 33));

    auto *scrollArea = window.findChild<QScrollArea *>();
    ASSERT_NE(scrollArea, nullptr);
    ASSERT_EQ(scrollArea->widget(), window.clientArea());
    EXPECT_TRUE(scrollArea->verticalScrollBar()->isVisible());
    EXPECT_FALSE(scrollArea->horizontalScrollBar()->isVisible());
    EXPECT_EQ(scrollArea->viewport()->width(), 1163);
    const QRect viewport = scrollArea->viewport()->rect();
    const QList<QWidget *> controls = {window.Command1, window.Command2, window.Text1, window.SCLabel6,
                                       window.Xpress5View};
    for (QWidget *control : controls) {
        scrollArea->ensureWidgetVisible(control, 0, 0);
        QApplication::processEvents();
        const QRect shown(control->mapTo(scrollArea->viewport(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(viewport.contains(shown)) << control->metaObject()->className();
    }
}

} // namespace
