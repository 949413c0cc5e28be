#pragma once

#include "link/exchangelog.h"

#include <QString>

#include <functional>
#include <memory>

// Every record of an ExchangeLog written as one line to a text file while
// the program runs, for whoever wants the bus's history outside the program
// (grep, a spreadsheet, a ticket). KELVORA_TRACE=FILE in the environment
// asks for it (TraceFileFromEnvironment).
//
// A line, tab-separated, ended by '\n':
//   time                 local time to the microsecond with its offset,
//                        2026-12-11T08:51:02.123456+01:00
//   port                 the port's name as the line has it
//   link                 modbus or relay
//   address, function, first, count
//   attempt              1 or 2, with "end" after it when this attempt's
//                        outcome is the call's result: "1 end", "1", "2 end"
//   duration             µs from the attempt's start to its outcome
//   outcome              OutcomeText: "answered", "CRC error", ...
//   request, reply       the bytes in hexadecimal, "01 03 00 10 00 08 45 C9";
//                        " ..." after the 64th byte when there were more
// A new or empty file starts with a header line that begins with '#'; so do
// the lines that say how many records were dropped ("# 12 lines dropped").
//
// The window's thread, which makes the exchanges and so calls the log's
// listener, never waits on the file: the listener only copies the record
// into a bounded queue (kQueueLength records, allocated once), and a writer
// thread of this object takes them from there, formats and writes them.
// When the queue is full (a file system that stalls), records are dropped
// and counted, and the count goes into the file once there is room again.
//
// The file is opened on the writer thread with O_APPEND (created mode 0644
// when missing) and O_NONBLOCK, and must be a regular file: a FIFO, a
// directory, a device or a path that cannot be written is refused. Any
// refusal or write error is told once, through complain (the standard
// error by default), and the trace stops; the program goes on.
//
// Stopping (the destructor) takes the listener off the log, lets the writer
// write what is queued and waits for it at most kStopWaitMs; a writer stuck
// in a write of a file system that hangs is left to finish on its own.
class ExchangeTrace
{
public:
    static constexpr int kQueueLength = 4096;
    static constexpr int kStopWaitMs = 500;

    using Complaint = std::function<void(const QString &text)>;

    // Starts the writer and listens to log, which must outlive this object.
    ExchangeTrace(ExchangeLog &log, const QString &path, Complaint complain = {});
    ~ExchangeTrace();
    ExchangeTrace(const ExchangeTrace &) = delete;
    ExchangeTrace &operator=(const ExchangeTrace &) = delete;

    // Waits at most ms for the writer to have written (or dropped) every
    // record given so far; true when it has. For tests and for a clean stop.
    bool Flush(int ms);

    // One record as its line, without the line end.
    static QString FormatLine(const ExchangeRecord &record, const QString &port,
                              const QString &outcome);

private:
    struct State;

    ExchangeLog &m_log;
    int m_listener = 0;
    std::shared_ptr<State> m_state;
};

// The trace file named by KELVORA_TRACE, empty when it is unset or empty.
QString TraceFileFromEnvironment();
