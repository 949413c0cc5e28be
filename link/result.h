#pragma once

#include <QString>

#include <optional>
#include <utility>

// The one failure convention for everything that loads, saves or parses:
// a function returns either its value or a Failure that says what went wrong
// in words a user can read ("rtd.cfg is 516 bytes long; a configuration file
// has at least 517."). The caller decides what the user sees: a message box
// with the text, a fixed message, or nothing at all. Nothing is recognised by
// the wording of a text; ok() is the only test.
//
//     Result<ConfigImage> image = ParseConfigImage(bytes);
//     if (!image)
//         return ShowMessageBox(this, image.error(), ...);
//     Apply(*image);
//
// Result<> (that is, Result<void>) is for an operation with nothing to give
// back but its success.

struct Failure
{
    QString what;
};

inline Failure Fail(QString what)
{
    return Failure{std::move(what)};
}

template <typename T = void>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_error(std::move(failure.what)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    // The value; only to be called when ok().
    const T &value() const & { return *m_value; }
    T &value() & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const T &operator*() const & { return *m_value; }
    T &operator*() & { return *m_value; }
    const T *operator->() const { return &*m_value; }
    T *operator->() { return &*m_value; }

    // What went wrong; empty when ok().
    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

template <>
class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure) : m_failed(true), m_error(std::move(failure.what)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString &error() const { return m_error; }

private:
    bool m_failed = false;
    QString m_error;
};
