#include "slider/propertybag.h"

#include <QImage>
#include <QPixmap>

namespace velloran {

namespace {

bool isPicture(const QVariant &value)
{
    const int type = value.metaType().id();
    return type == QMetaType::QPixmap || type == QMetaType::QImage;
}

QImage pictureImage(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QPixmap)
        return value.value<QPixmap>().toImage();
    return value.value<QImage>();
}

bool isInteger(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isBoolean(const QVariant &value)
{
    return value.metaType().id() == QMetaType::Bool;
}

} // namespace

bool PropertyBag::isNone(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return true;
    if (value.metaType().id() == QMetaType::QPixmap)
        return value.value<QPixmap>().isNull();
    if (value.metaType().id() == QMetaType::QImage)
        return value.value<QImage>().isNull();
    return false;
}

bool PropertyBag::sameValue(const QVariant &a, const QVariant &b)
{
    const bool aNone = isNone(a);
    const bool bNone = isNone(b);
    if (aNone || bNone)
        return aNone == bNone;
    if (isPicture(a) && isPicture(b))
        return pictureImage(a) == pictureImage(b);
    if (isBoolean(a) || isBoolean(b)) {
        if ((isBoolean(a) || isInteger(a)) && (isBoolean(b) || isInteger(b)))
            return (a.toLongLong() != 0) == (b.toLongLong() != 0);
        return false;
    }
    if (isInteger(a) && isInteger(b)) {
        // A negative signed value never equals an unsigned one.
        const bool aUnsigned = a.metaType().id() == QMetaType::ULongLong;
        const bool bUnsigned = b.metaType().id() == QMetaType::ULongLong;
        if (aUnsigned || bUnsigned)
            return a.toULongLong() == b.toULongLong()
                && (aUnsigned || a.toLongLong() >= 0) && (bUnsigned || b.toLongLong() >= 0);
        return a.toLongLong() == b.toLongLong();
    }
    return a == b;
}

qsizetype PropertyBag::indexOf(const QString &name) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).key.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void PropertyBag::WriteProperty(const QString &name, const QVariant &value,
                                const QVariant &defaultValue)
{
    if (sameValue(value, defaultValue)) {
        remove(name);
        return;
    }
    const qsizetype index = indexOf(name);
    if (index >= 0)
        m_entries[index] = Entry{name, value};
    else
        m_entries.append(Entry{name, value});
}

QVariant PropertyBag::ReadProperty(const QString &name, const QVariant &defaultValue) const
{
    const qsizetype index = indexOf(name);
    return index >= 0 ? m_entries.at(index).value : defaultValue;
}

void PropertyBag::remove(const QString &name)
{
    const qsizetype index = indexOf(name);
    if (index >= 0)
        m_entries.removeAt(index);
}

QStringList PropertyBag::keys() const
{
    QStringList result;
    result.reserve(m_entries.size());
    for (const Entry &entry : m_entries)
        result.append(entry.key);
    return result;
}

} // namespace velloran
