#include "debug/vrxprotocol.h"

#include "link/crc16.h"
#include "link/exchangerecorder.h"

namespace {

constexpr int kAddressOffset = 12;
constexpr uint8_t kCommand = 9;
constexpr uint8_t kConstant = 1;
constexpr uint8_t kMarker = 0x81;
constexpr int kRequestLength = 13;
constexpr int kReplyWindowMs = 50;
// A reply carries N + 1 bytes after the marker: at least the eight readings
// and at most 17 bytes.
constexpr int kMinCount = 7;
constexpr int kMaxCount = 16;
// Address echo, count, marker, and count + 1 bytes.
constexpr int kReplyOverhead = 4;

} // namespace

VRXProtocol::VRXProtocol(SerialLine *port, WaitFunction wait)
    : m_port(port), m_bus(port, std::move(wait))
{}

bool VRXProtocol::PollModule(int module, const std::array<int, 8> &types, VrxResult &result)
{
    if (!m_port)
        return false;
    ExchangeRecorder recorder(m_port);
    const auto address = uint8_t((module + kAddressOffset) & 0xFF);
    recorder.Begin({ExchangeLink::Relay, address, kCommand, 0, int(types.size())}, 0);
    bool opening = false;
    bool sent = false;
    bool polled = false;
    try {
        m_port->SetBaudRate(kBaudRate);

        std::array<uint8_t, kRequestLength> request{};
        request[0] = address;
        request[1] = kCommand;
        request[2] = kConstant;
        for (size_t k = 0; k < types.size(); ++k)
            request[3 + k] = uint8_t(types[k] & 0xFF);
        const uint16_t crc = Crc16Table(request.data(), kRequestLength - 2);
        request[11] = uint8_t(crc & 0xFF);
        request[12] = uint8_t(crc >> 8);
        recorder.SetRequest(request.data(), kRequestLength);

        // The address byte with the parity bit set...
        if (m_port->Connected())
            m_port->Close();
        m_port->SetParity(ParityBits::Mark);
        opening = true;
        m_port->Open();
        opening = false;
        m_port->Purge(true, true);
        m_port->Write(request.data(), 1);

        // ...and the rest with it clear.
        if (m_port->Connected())
            m_port->Close();
        m_port->SetParity(ParityBits::Space);
        opening = true;
        m_port->Open();
        opening = false;
        m_port->Write(request.data() + 1, kRequestLength - 1);
        sent = true;

        m_bus.Wait(kReplyWindowMs + m_port->ReplyAllowanceMs());
        polled = TakeReply(address, result, recorder);
    } catch (const EComPortError &error) {
        if (opening)
            recorder.FinishPortUnavailable(error.code());
        else if (m_bus.ReplyBegun())
            recorder.Finish(ExchangeOutcome::Incomplete, m_bus);
        else
            recorder.Finish(sent ? ExchangeOutcome::NoAnswer : ExchangeOutcome::NotSent, m_bus);
        polled = false;
    }
    recorder.Append(polled);
    return polled;
}

bool VRXProtocol::TakeReply(uint8_t address, VrxResult &result, ExchangeRecorder &recorder)
{
    const auto ends = [&](ExchangeOutcome outcome) {
        recorder.Finish(outcome, m_bus);
        return outcome == ExchangeOutcome::Answered;
    };
    const auto missing = [&] {
        return ends(m_bus.ReplyBegun() ? ExchangeOutcome::Incomplete : ExchangeOutcome::NoAnswer);
    };
    m_bus.BeginReply();
    uint8_t byte = 0;
    if (!m_bus.TakeByte(byte))
        return missing();
    if (byte != address)
        return ends(ExchangeOutcome::OtherAddress);
    uint8_t count = 0;
    if (!m_bus.TakeByte(count))
        return missing();
    // From here the reply's length is known, as far as its count can be
    // believed.
    if (count >= kMinCount && count <= kMaxCount)
        recorder.SetExpected(kReplyOverhead + count);
    if (!m_bus.TakeByte(byte))
        return missing();
    if (byte != kMarker)
        return ends(ExchangeOutcome::BadReply);
    if (count < kMinCount || count > kMaxCount)
        return ends(ExchangeOutcome::BadReply);
    for (int i = 0; i <= count; ++i) {
        if (!m_bus.TakeByte(byte))
            return missing();
        if (i < int(result.readings.size()))
            result.readings[size_t(i)] = byte;
    }
    result.module = address - kAddressOffset;
    return ends(ExchangeOutcome::Answered);
}
