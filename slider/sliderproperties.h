#pragma once

// The twelve properties a slider saves, each with its key, its kind and the
// value of a new slider. A new slider takes its values from this table,
// WriteProperties saves by it, ReadProperties loads by it, and every key is
// the name of the slider's Q_PROPERTY through which it is read for saving.

#include "slider/slidererror.h"

#include <QVariant>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace velloran {

// How a property is saved, and what a stored value is converted to when it
// is loaded.
enum class PersistedKind {
    Boolean, // bool; stored numbers and texts count as true when not zero
    Colour,  // quint32; stored signed or unsigned
    Int16,   // qint16
    Int32,   // qint32
    Picture, // QPixmap; none without a picture
};

struct PersistedProperty
{
    // The key it is saved under (matched in any letter case when loading),
    // and the name of the slider's property.
    const char *key;
    PersistedKind kind;
    // A new slider's value: a number, 0 or 1 for a boolean, 0 (none) for a
    // picture. Saving leaves out a value equal to it; loading gives it to an
    // absent key.
    qint64 defaultValue;
    // Where it comes in the order of loading: the pointer and its picture
    // right after the colour, the pictures last.
    int loadStep;
    // Whether InitProperties gives it its default again; the colour, the
    // pointer and the pictures keep what they hold.
    bool initialised;
};

// In the order of saving.
inline constexpr std::array<PersistedProperty, 12> kPersistedProperties{{
    {"BackColor", PersistedKind::Colour, 0x8000000F, 0, false},
    {"Enabled", PersistedKind::Boolean, 1, 3, true},
    {"MouseIcon", PersistedKind::Picture, 0, 2, false},
    {"MousePointer", PersistedKind::Int16, 0, 1, false},
    {"SliderImage", PersistedKind::Picture, 0, 10, false},
    {"Orientation", PersistedKind::Int32, 1, 4, true},
    {"RailImage", PersistedKind::Picture, 0, 11, false},
    {"RailStyle", PersistedKind::Int32, 0, 5, true},
    {"ShowValueTip", PersistedKind::Boolean, 1, 6, true},
    {"Min", PersistedKind::Int32, 0, 7, true},
    {"Max", PersistedKind::Int32, 10, 8, true},
    {"Value", PersistedKind::Int32, 0, 9, true},
}};

// The row of key, spelled exactly; a key that is not in the table does not
// compile.
consteval const PersistedProperty &persistedProperty(std::string_view key)
{
    for (const PersistedProperty &property : kPersistedProperties) {
        if (key == property.key)
            return property;
    }
    throw "not a persisted property of the slider";
}

// The rows in the order of loading.
inline constexpr std::array<const PersistedProperty *, kPersistedProperties.size()>
    kPersistedLoadOrder = [] {
        std::array<const PersistedProperty *, kPersistedProperties.size()> order{};
        for (std::size_t i = 0; i < kPersistedProperties.size(); ++i)
            order[i] = &kPersistedProperties[i];
        std::sort(order.begin(), order.end(),
                  [](const PersistedProperty *a, const PersistedProperty *b) {
                      return a->loadStep < b->loadStep;
                  });
        return order;
    }();

// Every property is loaded once: the steps are 0, 1, 2, ... without a gap.
static_assert([] {
    for (std::size_t i = 0; i < kPersistedLoadOrder.size(); ++i) {
        if (kPersistedLoadOrder[i]->loadStep != int(i))
            return false;
    }
    return true;
}());

// A new slider's value of property, as it is saved: bool, quint32, qint16,
// qint32, or none for a picture.
QVariant persistedDefault(const PersistedProperty &property);

// A value of the property (as its Q_PROPERTY gives it) in the form it is
// saved in: the kind's own type, a picture without pixels as none.
QVariant persistedValue(const PersistedProperty &property, const QVariant &value);

// A stored value converted to the kind's own type: QPixmap for a picture.
// A key present with no value reads as zero, false or no picture; a value of
// the wrong kind is TypeMismatch, a number that does not fit is Overflow.
Checked<QVariant> loadedValue(const PersistedProperty &property, const QVariant &stored);

} // namespace velloran
