#include "skin/codepage.h"

#include "skin/codepage_p.h"

#include <map>
#include <memory>

namespace velloran {

namespace {

using codepage_detail::SingleByteTable;

class SingleByteCodePage final : public CodePage
{
public:
    explicit SingleByteCodePage(const SingleByteTable &table)
        : m_table(table)
    {
    }

    QString name() const override { return QStringLiteral("Windows-%1").arg(m_table.number); }

    std::optional<QByteArray> encode(const QString &text) const override
    {
        QByteArray bytes;
        bytes.reserve(text.size());
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 0x80) {
                bytes.append(char(u));
                continue;
            }
            qsizetype i = 0;
            while (i < qsizetype(m_table.high.size()) && m_table.high[i] != u)
                ++i;
            if (i == qsizetype(m_table.high.size()))
                return std::nullopt;
            bytes.append(char(0x80 + i));
        }
        return bytes;
    }

private:
    const SingleByteTable &m_table;
};

} // namespace

const CodePage *CodePage::windows(int number)
{
    static const std::map<int, std::unique_ptr<SingleByteCodePage>> pages = [] {
        std::map<int, std::unique_ptr<SingleByteCodePage>> all;
        for (int n : {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258})
            if (const SingleByteTable *table = codepage_detail::singleByteTable(n))
                all.emplace(n, std::make_unique<SingleByteCodePage>(*table));
        return all;
    }();
    const auto found = pages.find(number);
    return found == pages.end() ? nullptr : found->second.get();
}

} // namespace velloran
