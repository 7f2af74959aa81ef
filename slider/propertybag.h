#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace velloran {

// A host's store of named values in which a control saves its design and from
// which it is recreated. Keys match without regard to letter case and keep
// the order in which they were first written. Pictures are QPixmap or QImage
// values; a null picture counts as none (an invalid QVariant).
class PropertyBag
{
public:
    PropertyBag() = default;

    // Stores value under name, unless it equals defaultValue: then the key is
    // left out (and an earlier value of it removed), so reading it back gives
    // the default. An entry already present keeps its place.
    void WriteProperty(const QString &name, const QVariant &value,
                       const QVariant &defaultValue = QVariant());

    // The value stored under name, or defaultValue when the key is absent.
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue = QVariant()) const;

    bool contains(const QString &name) const { return indexOf(name) >= 0; }
    void remove(const QString &name);
    void clear() { m_entries.clear(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    qsizetype size() const { return m_entries.size(); }
    // The keys in store order, spelled as last written.
    QStringList keys() const;

    // True for an invalid or null value and for a null picture.
    static bool isNone(const QVariant &value);
    // Whether two stored values are the same: numbers and booleans compare by
    // value whatever their width (a boolean is true when non-zero), pictures
    // by their pixels, and every kind of none equals every other.
    static bool sameValue(const QVariant &a, const QVariant &b);

private:
    struct Entry
    {
        QString key;
        QVariant value;
    };

    qsizetype indexOf(const QString &name) const;

    QList<Entry> m_entries;
};

} // namespace velloran
