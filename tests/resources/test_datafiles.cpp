// The two data files the programs read beside themselves: the skin
// description template and the style sheet.
#include "filebytes.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using velloran::test::fileBytes;

namespace {

// The export writes these lines itself in front of the template's text.
const char *const kKeysOfTheExport[] = {"ConsoleBorderImage", "SceneWindowImage",
                                        "ChatWindowImage", "MainWindowImage", "Skin"};

TEST(SkinTemplate, IsAsciiKeyValueLinesEachEndedByCrLf)
{
    const QByteArray text = fileBytes(QStringLiteral(VELLORAN_RESOURCES_DIR "/DefaultSkin.txt"));
    ASSERT_TRUE(text.endsWith("\r\n"));
    for (const char byte : text)
        ASSERT_TRUE((byte >= 0x20 && byte < 0x7f) || byte == '\r' || byte == '\n') << "byte " << int(byte);

    QList<QByteArray> lines = text.split('\n');
    lines.removeLast(); // the empty rest after the last line end
    QSet<QByteArray> keys;
    for (const QByteArray &line : lines) {
        SCOPED_TRACE(line.toStdString());
        ASSERT_TRUE(line.endsWith('\r'));
        const QByteArray content = line.chopped(1);
        EXPECT_FALSE(content.contains('\r'));
        const qsizetype equals = content.indexOf('=');
        ASSERT_GT(equals, 0) << "no key";
        const QByteArray key = content.left(equals).toLower();
        EXPECT_FALSE(keys.contains(key)) << "repeated key";
        keys.insert(key);
        for (const char *reserved : kKeysOfTheExport)
            EXPECT_NE(key, QByteArray(reserved).toLower()) << "the export writes this key itself";
    }
}

struct SheetCase
{
    const char *name;
    const char *sheet; // nullptr: the shipped Accent.skf
    bool clean;        // applies without a warning
};

class StyleSheet : public ::testing::TestWithParam<SheetCase>
{
};

QStringList g_warnings;

void collectWarning(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_warnings.append(message);
}

// Polishes one of every widget the sheet styles; Qt parses the sheet then and
// warns about what it cannot read.
void polishEverything()
{
    const std::unique_ptr<QWidget> widgets[] = {
        std::make_unique<QPushButton>(u"OK"_s), std::make_unique<QLineEdit>(),
        std::make_unique<QLabel>(u"Label"_s),
        std::make_unique<QMessageBox>(QMessageBox::NoIcon, u"Velloran"_s, u"Text"_s, QMessageBox::Ok),
    };
    for (const auto &widget : widgets)
        widget->ensurePolished();
}

TEST_P(StyleSheet, AppliesWithoutWarningsOnlyWhenValid)
{
    polishEverything(); // first polish without a sheet: the platform's own notices come out here
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    const QString sheet = GetParam().sheet
                              ? QString::fromUtf8(GetParam().sheet)
                              : QString::fromUtf8(fileBytes(QStringLiteral(VELLORAN_RESOURCES_DIR "/Accent.skf")));
    ASSERT_FALSE(sheet.isEmpty());
    qApp->setStyleSheet(sheet);
    polishEverything();
    qApp->setStyleSheet(QString());
    qInstallMessageHandler(previous);

    EXPECT_EQ(g_warnings.isEmpty(), GetParam().clean) << g_warnings.join(u"\n"_s).toStdString();
}

// The broken sheets show that the check would see a fault in the shipped one.
const SheetCase kSheets[] = {
    {"Shipped", nullptr, true},
    {"Unterminated", "QWidget { color: ", false},
    {"UnknownProperty", "QPushButton { colour: red; }", false},
    {"BadColour", "QLabel { color: #12; }", false},
};

INSTANTIATE_TEST_SUITE_P(Sheets, StyleSheet, ::testing::ValuesIn(kSheets),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
