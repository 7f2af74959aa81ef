#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace velloran {

// A run-time error of the slider control: an error number and its
// description, for the host to report. Property assignments that are refused
// throw it and leave the control as it was.
class SliderError : public std::exception
{
public:
    enum Number : int {
        Overflow = 6,               // a value does not fit its 32- or 16-bit type
        DivisionByZero = 11,        // a position computed over an empty range
        TypeMismatch = 13,          // a stored value of the wrong kind
        InvalidPropertyValue = 380, // an assignment outside what the property allows
    };

    explicit SliderError(int number);

    int number() const noexcept { return m_number; }
    QString description() const;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QByteArray m_what;
};

} // namespace velloran
