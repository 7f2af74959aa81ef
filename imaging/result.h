#pragma once

#include "imaging/status.h"

#include <utility>

namespace velloran {

// A value, or the Status of the failure that kept it from being made.
// On failure value() is the type's default (a null QImage, an empty list),
// so a caller that has tested ok() never meets a half-made value.
template<typename T>
class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {
    }
    // A failure; a successful Status here would stand for a default value.
    Result(Status failure)
        : m_status(std::move(failure))
    {
        Q_ASSERT(!m_status.ok());
    }

    bool ok() const { return m_status.ok(); }
    explicit operator bool() const { return ok(); }
    const Status &status() const { return m_status; }
    // The reason of the failure, empty on success.
    const QString &error() const { return m_status.message(); }

    const T &value() const & { return m_value; }
    T &&value() && { return std::move(m_value); }

private:
    T m_value{};
    Status m_status;
};

} // namespace velloran
