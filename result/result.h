#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>

// The one failure convention for everything that loads, saves or parses:
// a function returns either its value or a Failure that says what went wrong
// in words a user can read ("rtd.cfg is 516 bytes long; a configuration file
// has at least 517."). The caller decides what the user sees: a message box
// with the text, a fixed message, the warning log, or nothing at all. Nothing
// is recognised by the wording of a text; ok() is the only test.
//
//     const Result<ConfigImage> image = ParseConfigImage(bytes, name);
//     if (!image) {
//         ShowMessageBox(this, image.error(), ...);
//         return;
//     }
//     ApplyConfigImage(*image, table);
//     period = image->period;
//
// Result<> (that is, Result<void>) is for an operation with nothing to give
// back but its success. A failed result has no value: value(), * and -> stop
// the program with a message naming the mistake, in every build, rather than
// read an empty optional.
//
// This header is shared by the program's core, its windows and the bus
// simulator, and depends on Qt Core only.

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

    // The value; only when ok().
    const T &value() const & { return checked(); }
    T &value() & { return checked(); }
    T &&value() && { return std::move(checked()); }
    const T &operator*() const & { return checked(); }
    T &operator*() & { return checked(); }
    const T *operator->() const { return &checked(); }
    T *operator->() { return &checked(); }

    // What went wrong; empty when ok().
    const QString &error() const { return m_error; }

private:
    const T &checked() const
    {
        if (!m_value.has_value())
            qFatal("Result: the value of a failed result was used");
        return *m_value;
    }
    T &checked()
    {
        if (!m_value.has_value())
            qFatal("Result: the value of a failed result was used");
        return *m_value;
    }

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
