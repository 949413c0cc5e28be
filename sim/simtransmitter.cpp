#include "sim/simtransmitter.h"

#include <algorithm>

void SimTransmitter::queue(QByteArray bytes, Clock::time_point start, Clock::duration character)
{
    if (bytes.isEmpty())
        return;
    // After every reply that starts no later, and never ahead of one whose
    // bytes have begun to leave.
    auto at = std::upper_bound(m_replies.begin(), m_replies.end(), start,
                               [](Clock::time_point t, const Reply &r) { return t < r.start; });
    if (at == m_replies.begin() && !m_replies.empty() && m_replies.front().begin)
        ++at;
    m_replies.insert(at, Reply{std::move(bytes), start, character, 0, std::nullopt});
}

SimTransmitter::Clock::time_point SimTransmitter::beginOf(const Reply &reply) const
{
    return reply.begin ? *reply.begin : std::max(reply.start, m_lineFree);
}

SimTransmitter::Clock::time_point SimTransmitter::dueOf(const Reply &reply, Clock::time_point begin,
                                                        qsizetype i)
{
    return begin + (i + 1) * reply.character;
}

QByteArray SimTransmitter::takeDue(Clock::time_point now)
{
    QByteArray due;
    while (!m_replies.empty()) {
        Reply &reply = m_replies.front();
        const Clock::time_point begin = beginOf(reply);
        qsizetype end = reply.sent;
        while (end < reply.bytes.size() && dueOf(reply, begin, end) <= now)
            ++end;
        if (end == reply.sent)
            break;
        if (!reply.begin) {
            reply.begin = begin;
            m_lineFree = dueOf(reply, begin, reply.bytes.size() - 1);
        }
        due.append(reply.bytes.mid(reply.sent, end - reply.sent));
        reply.sent = end;
        if (reply.sent < reply.bytes.size())
            break;
        m_replies.erase(m_replies.begin());
    }
    return due;
}

std::optional<SimTransmitter::Clock::time_point> SimTransmitter::nextDue() const
{
    if (m_replies.empty())
        return std::nullopt;
    const Reply &reply = m_replies.front();
    return dueOf(reply, beginOf(reply), reply.sent);
}

void SimTransmitter::clear()
{
    m_replies.clear();
    m_lineFree = {};
}
