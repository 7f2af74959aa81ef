#include "slider/slidererror.h"

namespace velloran {

namespace {

QString describe(int number)
{
    switch (number) {
    case SliderError::Overflow:
        return QStringLiteral("Overflow");
    case SliderError::DivisionByZero:
        return QStringLiteral("Division by zero");
    case SliderError::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case SliderError::InvalidPropertyValue:
        return QStringLiteral("Invalid property value");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

} // namespace

SliderError::SliderError(int number)
    : m_number(number)
    , m_what(describe(number).toUtf8())
{
}

QString SliderError::description() const
{
    return describe(m_number);
}

} // namespace velloran
