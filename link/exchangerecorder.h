#pragma once

#include "link/exchangelog.h"

#include <chrono>
#include <cstdint>

class BusLine;
class SerialLine;

// The shape of one request, as an ExchangeRecord names it.
struct ExchangeShape
{
    ExchangeLink link = ExchangeLink::Modbus;
    int address = 0;
    int function = 0;
    int first = 0;
    int count = 0;
};

// How the bus protocols fill the ExchangeRecord of one attempt on a line
// that carries an ExchangeLog (SerialLine::exchangeLog); on a line without
// one every call here returns at once.
//
// The record is a plain value held here: filling it takes two clock reads
// and a few copies, and allocates nothing. The port's name goes in by its
// index in the log's table, found (not copied) when the record is appended;
// only a port that cannot be opened has its reason put into words
// (PortOpenReason), once per such attempt.
//
// Nothing here touches the line or waits, so recording leaves every exchange
// as it was: the same waits, the same reads, the same order. The record is
// appended after the attempt, and a guarded call appends it after the guard
// is released, so a listener never runs while this program holds the bus.
class ExchangeRecorder
{
public:
    explicit ExchangeRecorder(SerialLine *line);

    bool Recording() const { return m_log != nullptr; }

    // The attempt starts now: the wall clock time is taken, and the duration
    // runs from here.
    void Begin(const ExchangeShape &shape, int expectedLength);
    void SetRequest(const uint8_t *bytes, int length);
    // The length of a sound reply, once it is known (the relay link's reply
    // says it in its count byte).
    void SetExpected(int length);
    // The code of a Modbus exception reply whose CRC checked.
    void SetExceptionCode(int code);
    // Attempt 1 or 2 of a guarded call; lastTry: no attempt follows this one
    // whatever its outcome. An attempt on its own is attempt 1 and last.
    void SetAttempt(int attempt, bool lastTry);

    // The outcome is known: the duration ends here, and the reply is the
    // bytes bus took since its reply began. The first call counts; a later
    // one (the tidying after an outcome failed) changes nothing.
    void Finish(ExchangeOutcome outcome, const BusLine &bus);
    // The port could not be opened; code is the system's error number.
    void FinishPortUnavailable(int code);
    bool Finished() const { return m_finished; }
    ExchangeOutcome Outcome() const { return m_record.outcome; }

    // Appends the record to the log, once; succeeded: the attempt's result,
    // which ends the call when it is a success or the last try.
    void Append(bool succeeded);

    // A guarded call that ended without touching the line (the guard held by
    // another program, or not to be had): one record of the attempt that was
    // not made, from start to now.
    static void AppendUntried(SerialLine *line, const ExchangeShape &shape, int attempt,
                              ExchangeOutcome outcome, std::chrono::steady_clock::time_point start);

private:
    void Stamp();

    SerialLine *m_line;
    ExchangeLog *m_log;
    ExchangeRecord m_record;
    std::chrono::steady_clock::time_point m_start;
    bool m_lastTry = true;
    bool m_begun = false;
    bool m_finished = false;
    bool m_appended = false;
};
