#pragma once

// A recording fake serial line for tests and fuzz targets. It keeps a trace of
// every call made on it (and of the waits, through Waiter()), records each
// written chunk with the parity and baud rate in force, and delivers scripted
// replies. It has no write time-out: a real port's is tested on TComPort with
// an injected clock (support/manualclock.h).
//
// Replies: QueueReply adds a reply that arrives as soon as a request has been
// written in full. A request is a write made with any parity but mark: a byte
// sent with mark parity is a 9-bit address, never a whole request. InjectInput
// puts bytes in the input buffer at once (stale bytes for a purge to discard).
// A responder, when set, is asked after every complete write instead.
//
// Failures: FailOpen makes the next opens throw; FailOn makes one kind of call
// throw the port's error (EComPortError); BreakOn makes one kind of call throw
// std::logic_error, as a programming error would, which the protocols must
// let pass to the program's error report; stalled makes writes send only
// stallAfter bytes (default 0).

#include "link/busline.h"
#include "link/serialline.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <stdexcept>

class FakeLine : public SerialLine
{
public:
    struct Chunk
    {
        QByteArray bytes;
        ParityBits parity = ParityBits::None;
        int baud = 0;
        int sent = 0; // what the write reported
    };

    // --- what happened ---
    QStringList trace;   // "open", "purge 1 1", "wait 5", "write 01 03 (none)", "read 01", ...
    QList<Chunk> chunks; // every Write, in order
    QList<int> waits;    // every wait asked through Waiter()
    int opens = 0;       // successful opens that opened the line
    int closes = 0;      // closes that closed it
    int bytesRead = 0;
    bool recordTrace = true;

    // --- what the line does ---
    QByteArray input;      // received and not yet read
    int pendingOutput = 0; // what PendingOutput reports
    bool stalled = false;  // writes stop after stallAfter bytes
    int stallAfter = 0;
    std::function<QByteArray(const Chunk &)> responder;

    void QueueReply(const QByteArray &reply) { m_replies.append(reply); }
    void InjectInput(const QByteArray &bytes) { input += bytes; }
    int QueuedReplies() const { return int(m_replies.size()); }

    // The next `times` opens fail with code (times < 0: every open).
    void FailOpen(int code = ENOENT, int times = 1)
    {
        m_openFailCode = code;
        m_openFailures = times;
    }
    // Every call of this kind throws code: "purge", "pending", "write", "read",
    // "close", "baud", "parity".
    void FailOn(const QString &operation, int code = EIO) { m_failOn[operation] = code; }
    // Every call of this kind throws std::logic_error (same names as FailOn).
    void BreakOn(const QString &operation) { m_breakOn = operation; }

    // A wait function that records the wait instead of sleeping.
    WaitFunction Waiter()
    {
        return [this](int ms) {
            waits.append(ms);
            Note(QStringLiteral("wait %1").arg(ms));
        };
    }

    // The trace without its reads, for checking the order of the steps.
    QStringList Steps() const
    {
        QStringList steps;
        for (const QString &entry : trace) {
            if (!entry.startsWith(QLatin1String("read")))
                steps.append(entry);
        }
        return steps;
    }

    static QString ParityName(ParityBits parity)
    {
        switch (parity) {
        case ParityBits::Mark:
            return QStringLiteral("mark");
        case ParityBits::Space:
            return QStringLiteral("space");
        case ParityBits::None:
            break;
        }
        return QStringLiteral("none");
    }

    // --- SerialLine ---
    QString Port() const override { return m_port; }
    void SetPort(const QString &name) override
    {
        Note(QStringLiteral("port ") + name);
        if (!m_open) {
            m_port = name;
            return;
        }
        Close();
        m_port = name;
        Open();
    }

    void Open() override
    {
        Note(QStringLiteral("open"));
        if (m_open)
            return;
        if (m_openFailures != 0) {
            if (m_openFailures > 0)
                --m_openFailures;
            throw EComPortError(m_openFailCode, "open");
        }
        m_open = true;
        ++opens;
    }
    void Close() override
    {
        Note(QStringLiteral("close"));
        MaybeFail(QStringLiteral("close"));
        if (!m_open)
            return;
        m_open = false;
        ++closes;
    }
    bool Connected() const override { return m_open; }

    void Purge(bool in, bool out) override
    {
        Note(QStringLiteral("purge %1 %2").arg(int(in)).arg(int(out)));
        RequireOpen();
        MaybeFail(QStringLiteral("purge"));
        if (in)
            input.clear();
        if (out)
            pendingOutput = 0;
    }
    int PendingOutput() override
    {
        Note(QStringLiteral("pending"));
        RequireOpen();
        MaybeFail(QStringLiteral("pending"));
        return pendingOutput;
    }
    int Write(const uint8_t *bytes, int count) override
    {
        Chunk chunk;
        chunk.bytes = QByteArray(reinterpret_cast<const char *>(bytes), std::max(count, 0));
        chunk.parity = m_parity;
        chunk.baud = m_baud;
        if (recordTrace) {
            Note(QStringLiteral("write ") + QString::fromLatin1(chunk.bytes.toHex(' ').toUpper()) +
                 QStringLiteral(" (") + ParityName(m_parity) + QStringLiteral(")"));
        }
        RequireOpen();
        MaybeFail(QStringLiteral("write"));
        chunk.sent = stalled ? std::min(std::max(count, 0), stallAfter) : std::max(count, 0);
        chunks.append(chunk);
        if (chunk.sent == chunk.bytes.size() && chunk.parity != ParityBits::Mark) {
            if (responder)
                input += responder(chunk);
            else if (!m_replies.isEmpty())
                input += m_replies.takeFirst();
        }
        return chunk.sent;
    }
    int ReadAvailable(QByteArray &text, int count) override
    {
        RequireOpen();
        MaybeFail(QStringLiteral("read"));
        text = input.left(std::max(count, 0));
        input.remove(0, text.size());
        bytesRead += int(text.size());
        if (recordTrace) {
            Note(text.isEmpty()
                     ? QStringLiteral("read -")
                     : QStringLiteral("read ") + QString::fromLatin1(text.toHex(' ').toUpper()));
        }
        return int(text.size());
    }

    int BaudRate() const override { return m_baud; }
    void SetBaudRate(int baud) override
    {
        Note(QStringLiteral("baud %1").arg(baud));
        MaybeFail(QStringLiteral("baud"));
        m_baud = baud;
    }
    ParityBits Parity() const override { return m_parity; }
    void SetParity(ParityBits parity) override
    {
        Note(QStringLiteral("parity ") + ParityName(parity));
        MaybeFail(QStringLiteral("parity"));
        m_parity = parity;
    }

private:
    void Note(const QString &entry)
    {
        if (recordTrace)
            trace.append(entry);
    }
    void RequireOpen() const
    {
        if (!m_open)
            throw EComPortError(EBADF, "port not open");
    }
    void MaybeFail(const QString &operation) const
    {
        if (operation == m_breakOn)
            throw std::logic_error("broken " + operation.toStdString());
        const auto it = m_failOn.constFind(operation);
        if (it != m_failOn.constEnd())
            throw EComPortError(it.value(), operation.toStdString());
    }

    QString m_port = QStringLiteral("fake0");
    bool m_open = false;
    int m_baud = 9600;
    ParityBits m_parity = ParityBits::None;
    QList<QByteArray> m_replies;
    int m_openFailCode = ENOENT;
    int m_openFailures = 0;
    QMap<QString, int> m_failOn;
    QString m_breakOn;
};
