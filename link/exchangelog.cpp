#include "link/exchangelog.h"

#include <algorithm>

void ExchangeLog::Append(ExchangeRecord record)
{
    if (m_ring.capacity() < size_t(kCapacity))
        m_ring.reserve(size_t(kCapacity));
    record.sequence = ++m_lastSequence;
    if (m_ring.size() < size_t(kCapacity)) {
        m_ring.push_back(record);
    } else {
        m_ring[m_next] = record;
    }
    const ExchangeRecord &stored = m_ring[m_next];
    m_next = (m_next + 1) % size_t(kCapacity);
    // A listener may remove itself or another, or add one (told from the
    // next record on); walking by index, with removals deferred, copies
    // nothing, so a record's way into the log allocates nothing.
    m_telling = true;
    const size_t count = m_listeners.size();
    for (size_t i = 0; i < count; ++i) {
        if (m_listeners[i].first != 0)
            m_listeners[i].second(stored);
    }
    m_telling = false;
    std::erase_if(m_listeners, [](const auto &entry) { return entry.first == 0; });
    if (!m_added.empty()) {
        for (auto &entry : m_added)
            m_listeners.push_back(std::move(entry));
        m_added.clear();
    }
}

uint64_t ExchangeLog::FirstSequence() const
{
    if (m_ring.empty())
        return 0;
    return m_lastSequence - m_ring.size() + 1;
}

uint64_t ExchangeLog::LastSequence() const
{
    return m_lastSequence;
}

const ExchangeRecord *ExchangeLog::Find(uint64_t sequence) const
{
    if (sequence == 0 || sequence > m_lastSequence || sequence < FirstSequence())
        return nullptr;
    // The newest record sits just before m_next; count back from it.
    const uint64_t back = m_lastSequence - sequence;
    const size_t newest = (m_next + size_t(kCapacity) - 1) % size_t(kCapacity);
    const size_t at = (newest + size_t(kCapacity) - size_t(back)) % size_t(kCapacity);
    return &m_ring[at];
}

namespace {

uint16_t IndexOf(QStringList &list, const QString &text)
{
    const auto at = list.indexOf(text);
    if (at >= 0)
        return uint16_t(at);
    // A bounded table: names and reasons are few, but a run must not grow it
    // without end; the last slot takes whatever comes after it is full.
    constexpr qsizetype kMaxEntries = 1000;
    if (list.size() >= kMaxEntries) {
        list.back() = text;
        return uint16_t(kMaxEntries - 1);
    }
    list.append(text);
    return uint16_t(list.size() - 1);
}

} // namespace

uint16_t ExchangeLog::PortIndex(const QString &name)
{
    return IndexOf(m_ports, name);
}

uint16_t ExchangeLog::ReasonIndex(const QString &text)
{
    return IndexOf(m_reasons, text);
}

int ExchangeLog::AddListener(Listener listener)
{
    const int id = m_nextListener++;
    // While the listeners are told, the vector being walked must not move.
    (m_telling ? m_added : m_listeners).emplace_back(id, std::move(listener));
    return id;
}

void ExchangeLog::RemoveListener(int id)
{
    if (!m_telling) {
        std::erase_if(m_listeners, [id](const auto &entry) { return entry.first == id; });
        return;
    }
    for (auto &entry : m_listeners) {
        if (entry.first == id)
            entry.first = 0;
    }
    std::erase_if(m_added, [id](const auto &entry) { return entry.first == id; });
}

QString ExceptionName(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("illegal function");
    case 2:
        return QStringLiteral("illegal data address");
    case 3:
        return QStringLiteral("illegal data value");
    case 4:
        return QStringLiteral("slave device failure");
    case 5:
        return QStringLiteral("acknowledge");
    case 6:
        return QStringLiteral("slave device busy");
    case 8:
        return QStringLiteral("memory parity error");
    case 10:
        return QStringLiteral("gateway path unavailable");
    case 11:
        return QStringLiteral("gateway target device failed to respond");
    default:
        return QStringLiteral("unknown exception");
    }
}

QString OutcomeText(const ExchangeRecord &record, const ExchangeLog &log)
{
    const auto &reasons = log.reasons();
    return OutcomeText(record, record.outcome == ExchangeOutcome::PortUnavailable &&
                                       record.reason < reasons.size()
                                   ? reasons.at(record.reason)
                                   : QString());
}

QString OutcomeText(const ExchangeRecord &record, const QString &reason)
{
    switch (record.outcome) {
    case ExchangeOutcome::Answered:
        return QStringLiteral("answered");
    case ExchangeOutcome::NoAnswer:
        return QStringLiteral("no answer");
    case ExchangeOutcome::Incomplete:
        if (record.expected_length > 0) {
            return QStringLiteral("incomplete reply (%1 of %2 bytes)")
                .arg(record.reply_length)
                .arg(record.expected_length);
        }
        return QStringLiteral("incomplete reply (%1 bytes)").arg(record.reply_length);
    case ExchangeOutcome::CrcError:
        return QStringLiteral("CRC error");
    case ExchangeOutcome::OtherAddress:
        return QStringLiteral("answer from address %1").arg(record.reply[0]);
    case ExchangeOutcome::Exception:
        if (record.exception_code == 0)
            return QStringLiteral("exception (code not read)");
        return QStringLiteral("exception %1 (%2)")
            .arg(record.exception_code)
            .arg(ExceptionName(record.exception_code));
    case ExchangeOutcome::BadReply:
        return QStringLiteral("bad reply");
    case ExchangeOutcome::GuardHeld:
        return QStringLiteral("bus guard held by another program");
    case ExchangeOutcome::PortUnavailable:
        if (!reason.isEmpty())
            return QStringLiteral("port cannot be opened: %1").arg(reason);
        return QStringLiteral("port cannot be opened");
    case ExchangeOutcome::NotSent:
        return QStringLiteral("request not sent");
    }
    return QStringLiteral("unknown");
}
