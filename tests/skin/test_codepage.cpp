// The code pages the description file is written in, held against the
// system's own converter (iconv): each character is written exactly when
// the code page has a byte for it, and every byte written reads back as the
// character it was written for.
#include "skin/codepage.h"

#include <QString>

#include <gtest/gtest.h>

#include <iconv.h>

#include <optional>

using namespace velloran;

namespace {

// The one byte that iconv writes for the character in the code page, if it
// writes exactly one.
std::optional<char> iconvByte(const char *codePage, char32_t c)
{
    iconv_t cd = iconv_open(codePage, "UTF-32LE");
    if (cd == iconv_t(-1))
        return std::nullopt;
    char in[4] = {char(c & 0xff), char((c >> 8) & 0xff), char((c >> 16) & 0xff), char(c >> 24)};
    char out[8];
    char *inp = in, *outp = out;
    size_t inLeft = 4, outLeft = sizeof out;
    const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1) || r > 0 || sizeof out - outLeft != 1)
        return std::nullopt; // none, an approximation, or more than one byte
    return out[0];
}

// The character iconv reads for one byte of the code page, if any.
std::optional<char32_t> iconvChar(const char *codePage, char byte)
{
    iconv_t cd = iconv_open("UTF-32LE", codePage);
    if (cd == iconv_t(-1))
        return std::nullopt;
    char in[1] = {byte};
    unsigned char out[8];
    char *inp = in, *outp = reinterpret_cast<char *>(out);
    size_t inLeft = 1, outLeft = sizeof out;
    size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    // Some decoders hold a letter back for a combining mark that may follow.
    if (r != size_t(-1))
        r = iconv(cd, nullptr, nullptr, &outp, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1) || sizeof out - outLeft != 4)
        return std::nullopt;
    return char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
}

class CodePages : public ::testing::TestWithParam<int>
{
};

TEST_P(CodePages, AgreeWithTheSystemsConverterOnEveryCharacter)
{
    const CodePage *page = CodePage::windows(GetParam());
    ASSERT_NE(page, nullptr);
    const QByteArray iconvName = "CP" + QByteArray::number(GetParam());
    if (!iconvByte(iconvName.constData(), U'A'))
        GTEST_SKIP() << "iconv has no " << iconvName.constData();
    int written = 0;
    for (char32_t c = 0x20; c < 0x3000; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        const QString text = QString::fromUcs4(&c, 1);
        const std::optional<QByteArray> ours = page->encode(text);
        const std::optional<char> theirs = iconvByte(iconvName.constData(), c);
        SCOPED_TRACE(uint(c));
        // What we write reads back as the character.
        if (ours) {
            ASSERT_EQ(ours->size(), 1);
            ASSERT_EQ(iconvChar(iconvName.constData(), ours->at(0)), c);
            ++written;
        }
        // What iconv writes for the character itself (not for one it takes
        // as the same, as it does with some combining marks), we write too.
        if (theirs && iconvChar(iconvName.constData(), *theirs) == c) {
            ASSERT_TRUE(ours.has_value());
            ASSERT_EQ(*ours, QByteArray(1, *theirs));
        }
    }
    EXPECT_GT(written, 180);
    EXPECT_EQ(page->name(), QStringLiteral("Windows-%1").arg(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Windows, CodePages, ::testing::Values(874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258));

TEST(CodePage, OnlyTheSingleByteAnsiCodePagesAreTables)
{
    EXPECT_EQ(CodePage::windows(932), nullptr);
    EXPECT_EQ(CodePage::windows(437), nullptr);
#ifndef Q_OS_WIN
    EXPECT_EQ(&CodePage::system(), CodePage::windows(1252));
#endif
}

} // namespace
