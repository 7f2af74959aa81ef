#pragma once

#include <QString>

#include <utility>

namespace velloran {

// The outcome of an operation that can fail: success, or a message for the
// user that names what failed and why (the path included where there is one),
// with an optional error number.
class Status
{
public:
    Status() = default;

    static Status success() { return {}; }
    static Status failure(QString message, int code = 0)
    {
        Status s;
        s.m_ok = false;
        s.m_message = std::move(message);
        s.m_code = code;
        return s;
    }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString &message() const { return m_message; }
    int code() const { return m_code; }

private:
    bool m_ok = true;
    QString m_message;
    int m_code = 0;
};

} // namespace velloran
