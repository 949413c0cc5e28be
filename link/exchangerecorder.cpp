#include "link/exchangerecorder.h"

#include "link/busline.h"
#include "link/portproblem.h"
#include "link/serialline.h"

#include <algorithm>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

int64_t WallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int32_t MicrosecondsSince(Clock::time_point start)
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    return int32_t(std::clamp<int64_t>(us.count(), 0, INT32_MAX));
}

void SetShape(ExchangeRecord &record, const ExchangeShape &shape)
{
    record.link = shape.link;
    record.address = uint8_t(shape.address);
    record.function = uint8_t(shape.function);
    record.first_register = uint16_t(shape.first);
    record.count = uint16_t(shape.count);
}

} // namespace

static_assert(BusLine::kKeptReplyBytes == ExchangeRecord::kStoredBytes,
              "the bus line keeps as many reply bytes as a record stores");

ExchangeRecorder::ExchangeRecorder(SerialLine *line)
    : m_line(line), m_log(line ? line->exchangeLog() : nullptr)
{}

void ExchangeRecorder::Begin(const ExchangeShape &shape, int expectedLength)
{
    if (!m_log)
        return;
    m_begun = true;
    m_start = Clock::now();
    m_record.time_us = WallClockUs();
    SetShape(m_record, shape);
    m_record.expected_length = uint16_t(std::max(expectedLength, 0));
}

void ExchangeRecorder::SetRequest(const uint8_t *bytes, int length)
{
    if (!m_log)
        return;
    m_record.request_length = uint16_t(length);
    std::memcpy(m_record.request.data(), bytes,
                size_t(std::min(length, ExchangeRecord::kStoredBytes)));
}

void ExchangeRecorder::SetExpected(int length)
{
    m_record.expected_length = uint16_t(std::max(length, 0));
}

void ExchangeRecorder::SetExceptionCode(int code)
{
    m_record.exception_code = uint8_t(code);
}

void ExchangeRecorder::SetAttempt(int attempt, bool lastTry)
{
    m_record.attempt = uint8_t(attempt);
    m_lastTry = lastTry;
}

void ExchangeRecorder::Stamp()
{
    m_finished = true;
    m_record.duration_us = MicrosecondsSince(m_start);
}

void ExchangeRecorder::Finish(ExchangeOutcome outcome, const BusLine &bus)
{
    if (!m_log || !m_begun || m_finished)
        return;
    Stamp();
    m_record.outcome = outcome;
    m_record.reply_length = uint16_t(bus.ReplyLength());
    std::memcpy(m_record.reply.data(), bus.ReplyBytes(),
                size_t(std::min(bus.ReplyLength(), ExchangeRecord::kStoredBytes)));
}

void ExchangeRecorder::FinishPortUnavailable(int code)
{
    if (!m_log || !m_begun || m_finished)
        return;
    Stamp();
    m_record.outcome = ExchangeOutcome::PortUnavailable;
    m_record.reason = m_log->ReasonIndex(PortOpenReason(code));
}

void ExchangeRecorder::Append(bool succeeded)
{
    if (!m_log || !m_begun || m_appended)
        return;
    m_appended = true;
    m_record.ends_call = succeeded || m_lastTry;
    m_record.port = m_log->PortIndex(m_line->Port());
    m_log->Append(m_record);
}

void ExchangeRecorder::AppendUntried(SerialLine *line, const ExchangeShape &shape, int attempt,
                                     ExchangeOutcome outcome, Clock::time_point start)
{
    ExchangeLog *log = line ? line->exchangeLog() : nullptr;
    if (!log)
        return;
    ExchangeRecord record;
    record.time_us =
        WallClockUs() -
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    record.duration_us = MicrosecondsSince(start);
    SetShape(record, shape);
    record.attempt = uint8_t(attempt);
    record.ends_call = true;
    record.outcome = outcome;
    record.port = log->PortIndex(line->Port());
    log->Append(record);
}
