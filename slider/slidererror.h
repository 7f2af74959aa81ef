#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <optional>
#include <utility>

namespace velloran {

// A run-time error of the slider control: an error number and its
// description, for the host to report. Property assignments that are refused
// throw it and leave the control as it was; loading a store that cannot be
// loaded throws it too.
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

// What a checked step of the slider came to: done, or the number of the
// error that stopped it. Steps inside the slider return it; only the public
// assignments and loading turn a failure into a SliderError.
enum class [[nodiscard]] SliderStatus : int {
    Done = 0,
    Overflow = SliderError::Overflow,
    DivisionByZero = SliderError::DivisionByZero,
    TypeMismatch = SliderError::TypeMismatch,
    InvalidPropertyValue = SliderError::InvalidPropertyValue,
};

// Throws the SliderError of a step that failed; a step that was done passes.
inline void throwIfFailed(SliderStatus status)
{
    if (status != SliderStatus::Done)
        throw SliderError(static_cast<int>(status));
}

// A value, or the status of the step that could not produce it.
template <typename T>
class [[nodiscard]] Checked
{
public:
    Checked(T value)
        : m_value(std::move(value))
    {
    }
    Checked(SliderStatus failure)
        : m_status(failure)
    {
    }

    explicit operator bool() const { return m_value.has_value(); }
    const T &operator*() const { return *m_value; }
    SliderStatus status() const { return m_status; }

private:
    std::optional<T> m_value;
    SliderStatus m_status = SliderStatus::Done;
};

} // namespace velloran
