#pragma once

#include <QString>
#include <QtGlobal>

#include <utility>

namespace velloran {

// What kind of failure a Status carries, for callers that react to one kind
// differently from the rest. The message says what happened; the kind says
// what to do about it.
enum class ErrorKind {
    None,        // success
    EmptyName,   // no skin name was given: the user is asked for one
    InvalidName, // the skin name cannot name the skin's files
    BadPicture,  // a picture file was refused: damaged, unsupported or too large
    Io,          // a file operation failed; code() holds the system's error number where there is one
    Busy,        // another export holds the Skins folder's lock
    Denied,      // the user may not create the file (the lock of the Skins folder)
    Other,
};

// The outcome of an operation that can fail: success, or a message for the
// user that names what failed and why (the path included where there is one),
// with its kind and an optional error number.
class [[nodiscard]] Status
{
public:
    Status() = default;

    static Status success() { return {}; }
    static Status failure(QString message, int code = 0)
    {
        return failure(ErrorKind::Other, std::move(message), code);
    }
    static Status failure(ErrorKind kind, QString message, int code = 0)
    {
        Q_ASSERT(kind != ErrorKind::None);
        Status s;
        s.m_kind = kind == ErrorKind::None ? ErrorKind::Other : kind;
        s.m_message = std::move(message);
        s.m_code = code;
        return s;
    }

    // The same failure, told in other words: the kind and the error number
    // stay. Success stays success.
    Status reworded(QString message) const
    {
        return ok() ? *this : failure(m_kind, std::move(message), m_code);
    }

    bool ok() const { return m_kind == ErrorKind::None; }
    explicit operator bool() const { return ok(); }
    ErrorKind kind() const { return m_kind; }
    const QString &message() const { return m_message; }
    int code() const { return m_code; }

private:
    ErrorKind m_kind = ErrorKind::None;
    QString m_message;
    int m_code = 0;
};

} // namespace velloran
