#include "slider/sliderproperties.h"

#include "slider/propertybag.h"
#include "slider/rounding.h"

#include <QImage>
#include <QPixmap>

#include <limits>

namespace velloran {

namespace {

// A stored value as a 64-bit whole number: booleans are -1 and 0, reals and
// texts of numbers round to the nearest (ties to even), "True" and "False"
// in any letter case are -1 and 0.
Checked<qint64> toInteger(const QVariant &value)
{
    if (PropertyBag::isNone(value))
        return qint64(0);
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return qint64(value.toBool() ? -1 : 0);
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return value.toLongLong();
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            return SliderStatus::Overflow;
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float: {
        const double whole = sliderdetail::roundHalfEven(value.toDouble());
        if (!(whole >= -9.0e18 && whole <= 9.0e18))
            return SliderStatus::Overflow;
        return static_cast<qint64>(whole);
    }
    case QMetaType::QString: {
        bool ok = false;
        const QString text = value.toString().trimmed();
        const qint64 number = text.toLongLong(&ok);
        if (ok)
            return number;
        const double real = text.toDouble(&ok);
        if (ok)
            return toInteger(QVariant(real));
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return qint64(-1);
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return qint64(0);
        return SliderStatus::TypeMismatch;
    }
    default:
        return SliderStatus::TypeMismatch;
    }
}

// A whole number that must fit [least, most].
template <typename Number>
Checked<QVariant> toNumber(const QVariant &stored, qint64 least, qint64 most)
{
    const Checked<qint64> number = toInteger(stored);
    if (!number)
        return number.status();
    if (*number < least || *number > most)
        return SliderStatus::Overflow;
    return QVariant::fromValue(static_cast<Number>(*number));
}

Checked<QVariant> toPicture(const QVariant &stored)
{
    if (PropertyBag::isNone(stored))
        return QVariant::fromValue(QPixmap());
    if (stored.metaType().id() == QMetaType::QPixmap)
        return stored;
    if (stored.metaType().id() == QMetaType::QImage)
        return QVariant::fromValue(QPixmap::fromImage(stored.value<QImage>()));
    return SliderStatus::TypeMismatch;
}

} // namespace

QVariant persistedDefault(const PersistedProperty &property)
{
    switch (property.kind) {
    case PersistedKind::Boolean:
        return QVariant(property.defaultValue != 0);
    case PersistedKind::Colour:
        return QVariant::fromValue(static_cast<quint32>(property.defaultValue));
    case PersistedKind::Int16:
        return QVariant::fromValue(static_cast<qint16>(property.defaultValue));
    case PersistedKind::Int32:
        return QVariant::fromValue(static_cast<qint32>(property.defaultValue));
    case PersistedKind::Picture:
        break;
    }
    return QVariant();
}

QVariant persistedValue(const PersistedProperty &property, const QVariant &value)
{
    switch (property.kind) {
    case PersistedKind::Boolean:
        return QVariant(value.toBool());
    case PersistedKind::Colour:
        return QVariant::fromValue(value.value<quint32>());
    case PersistedKind::Int16:
        return QVariant::fromValue(static_cast<qint16>(value.toInt()));
    case PersistedKind::Int32:
        return QVariant::fromValue(value.value<qint32>());
    case PersistedKind::Picture:
        break;
    }
    const QPixmap picture = value.value<QPixmap>();
    return picture.isNull() ? QVariant() : QVariant::fromValue(picture);
}

Checked<QVariant> loadedValue(const PersistedProperty &property, const QVariant &stored)
{
    switch (property.kind) {
    case PersistedKind::Boolean: {
        const Checked<qint64> number = toInteger(stored);
        if (!number)
            return number.status();
        return QVariant(*number != 0);
    }
    case PersistedKind::Colour:
        // A colour is a 32-bit pattern, stored signed or unsigned.
        return toNumber<quint32>(stored, -2147483648LL, 4294967295LL);
    case PersistedKind::Int16:
        return toNumber<qint16>(stored, -32768, 32767);
    case PersistedKind::Int32:
        return toNumber<qint32>(stored, -2147483648LL, 2147483647LL);
    case PersistedKind::Picture:
        break;
    }
    return toPicture(stored);
}

} // namespace velloran
