#include "debug/vrxprotocol.h"

#include "link/crc16.h"

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

} // namespace

VRXProtocol::VRXProtocol(SerialLine *port, WaitFunction wait)
    : m_port(port), m_bus(port, std::move(wait))
{}

bool VRXProtocol::PollModule(int module, const std::array<int, 8> &types, VrxResult &result)
{
    if (!m_port)
        return false;
    try {
        m_port->SetBaudRate(kBaudRate);

        std::array<uint8_t, kRequestLength> request{};
        const auto address = uint8_t((module + kAddressOffset) & 0xFF);
        request[0] = address;
        request[1] = kCommand;
        request[2] = kConstant;
        for (size_t k = 0; k < types.size(); ++k)
            request[3 + k] = uint8_t(types[k] & 0xFF);
        const uint16_t crc = Crc16Table(request.data(), kRequestLength - 2);
        request[11] = uint8_t(crc & 0xFF);
        request[12] = uint8_t(crc >> 8);

        // The address byte with the parity bit set...
        if (m_port->Connected())
            m_port->Close();
        m_port->SetParity(ParityBits::Mark);
        m_port->Open();
        m_port->Purge(true, true);
        m_port->Write(request.data(), 1);

        // ...and the rest with it clear.
        if (m_port->Connected())
            m_port->Close();
        m_port->SetParity(ParityBits::Space);
        m_port->Open();
        m_port->Write(request.data() + 1, kRequestLength - 1);

        m_bus.Wait(kReplyWindowMs);

        m_bus.BeginReply();
        uint8_t byte = 0;
        if (!m_bus.TakeByte(byte) || byte != address)
            return false;
        uint8_t count = 0;
        if (!m_bus.TakeByte(count))
            return false;
        if (!m_bus.TakeByte(byte) || byte != kMarker)
            return false;
        if (count < kMinCount || count > kMaxCount)
            return false;
        for (int i = 0; i <= count; ++i) {
            if (!m_bus.TakeByte(byte))
                return false;
            if (i < int(result.readings.size()))
                result.readings[size_t(i)] = byte;
        }
        result.module = address - kAddressOffset;
        return true;
    } catch (const EComPortError &) {
        return false;
    }
}
