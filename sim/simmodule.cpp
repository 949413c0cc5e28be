#include "sim/simmodule.h"

#include "sim/simframereader.h"

#include <QtMath>

#include <algorithm>

namespace {

constexpr int kReadHolding = 3;
constexpr int kWriteMultiple = 16;
constexpr int kMaxReadCount = 125;  // 250 data bytes fit a 256-byte frame
constexpr int kMaxWriteCount = 123; // 246 data bytes, same reason
constexpr int kFirstReadingRegister = 16;
constexpr int kTypeRegisters = kSimInputCount / 2;
constexpr int kMaxTypeCode = kSim4to20mA;

// Readings a faulty sensor or input gives.
constexpr quint16 kRtdOutOfRange = 2500; // 250.0 degrees, above the 209.9 the program shows
constexpr quint16 kLoopOutOfRange = 250; // 25.0 mA, above the 22.0 the program shows

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFF));
}

// A value in [0, 1) that depends only on its arguments (splitmix64).
double unitHash(quint32 seed, int unit, int input, int salt)
{
    quint64 z =
        (quint64(seed) << 32) ^ (quint64(unit) << 16) ^ (quint64(input) << 8) ^ quint64(salt);
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return double(z >> 11) / double(1ull << 53);
}

// The reading an input gives when a reading fault is set on it.
std::optional<quint16> faultReading(Fault fault, int type)
{
    switch (fault) {
    case Fault::Open:
        return SimModule::kOpen;
    case Fault::Shorted:
        return SimModule::kShorted;
    case Fault::OutOfRange:
        return type == kSim4to20mA ? kLoopOutOfRange : kRtdOutOfRange;
    default:
        return std::nullopt;
    }
}

} // namespace

qint16 simulatedReading(quint32 seed, int unit, int input, int type, qint64 elapsedMs)
{
    if (type == kSimNotUsed)
        return 0;
    // Each input drifts on a sine of its own period (60 to 90 s) and phase
    // around a base of its own, so a chart shows slow, distinct curves.
    const double period = 60000.0 + 30000.0 * unitHash(seed, unit, input, 1);
    const double phase = 2.0 * M_PI * unitHash(seed, unit, input, 2);
    const double wave = std::sin(2.0 * M_PI * double(elapsedMs) / period + phase);
    const double base = unitHash(seed, unit, input, 3);
    const double value =
        type == kSim4to20mA ? 11.0 + 2.0 * base + 0.3 * wave : 20.0 + 5.0 * base + 0.6 * wave;
    return static_cast<qint16>(qRound(value * 10.0));
}

Fault SimFaults::replyFaultFrom(int first) const
{
    if (reply != Fault::None)
        return reply;
    const auto it = registers.find(first);
    return it == registers.end() ? Fault::None : it->second;
}

SimModule::SimModule(int address, quint32 seed) : SimUnit(seed), m_address(address) {}

quint16 SimModule::identity(SimIdentity which) const
{
    switch (which) {
    case SimIdentity::DeviceType:
        return m_deviceType;
    case SimIdentity::Firmware:
        return m_firmware;
    case SimIdentity::Notch:
        break;
    }
    return static_cast<quint16>(m_notchHz);
}

void SimModule::setIdentity(SimIdentity which, quint16 value)
{
    switch (which) {
    case SimIdentity::DeviceType:
        m_deviceType = value;
        return;
    case SimIdentity::Firmware:
        m_firmware = value;
        return;
    case SimIdentity::Notch:
        m_notchHz = value;
        return;
    }
}

void SimModule::configure(const SimInputTypes &types)
{
    m_types = types;
    m_configured = true;
}

void SimModule::loseConfiguration()
{
    m_types = {};
    m_configured = false;
}

quint16 SimModule::reading(int index, qint64 elapsedMs) const
{
    if (m_faults.forced[index])
        return *m_faults.forced[index];
    if (!m_configured)
        return kNotConfigured;
    const int type = m_types[index];
    if (type == kSimNotUsed)
        return 0;
    if (const auto value = faultReading(m_faults.inputs[index], type))
        return *value;
    return static_cast<quint16>(simulatedReading(m_seed, m_address, index + 1, type, elapsedMs));
}

quint16 SimModule::registerValue(int reg, qint64 elapsedMs) const
{
    if (reg >= 0 && reg < kTypeRegisters)
        return static_cast<quint16>(m_types[2 * reg] * 256 + m_types[2 * reg + 1]);
    if (reg >= kFirstReadingRegister && reg < kFirstReadingRegister + kSimInputCount)
        return reading(reg - kFirstReadingRegister, elapsedMs);
    if (reg == kNotchCommandRegister || reg == kNotchCommandRegister + 1)
        return m_notchCommand[reg - kNotchCommandRegister];
    switch (reg) {
    case 4:
        return identity(SimIdentity::DeviceType);
    case 5:
        return identity(SimIdentity::Firmware);
    case 7:
        return identity(SimIdentity::Notch);
    default:
        return 0;
    }
}

quint8 SimModule::write(int first, const QList<quint16> &values)
{
    const int last = first + int(values.size()) - 1;
    if (last < kTypeRegisters) {
        for (const quint16 value : values) {
            if ((value >> 8) > kMaxTypeCode || (value & 0xFF) > kMaxTypeCode)
                return kIllegalValue;
        }
        for (int i = 0; i < values.size(); ++i) {
            m_types[2 * (first + i)] = values[i] >> 8;
            m_types[2 * (first + i) + 1] = values[i] & 0xFF;
        }
        m_configured = true;
        return 0;
    }
    if (first >= kNotchCommandRegister && last <= kNotchCommandRegister + 1) {
        if (first == kNotchCommandRegister) {
            const int hz = values[0] - 256;
            if (hz != 10 && hz != 50 && hz != 60)
                return kIllegalValue;
            m_notchHz = hz;
        }
        for (int i = 0; i < values.size(); ++i)
            m_notchCommand[first + i - kNotchCommandRegister] = values[i];
        return 0;
    }
    return kIllegalAddress;
}

QByteArray SimModule::answer(const QByteArray &request, qint64 elapsedMs)
{
    // The checks in the order a Modbus slave makes them: the function, then
    // the shape of the request (exception 3), then the registers (2), then
    // the values written (3).
    const int function = simByteAt(request, 1);
    if (function == kReadHolding) {
        if (request.size() != 6)
            return exceptionAnswer(request, kIllegalValue);
        const int first = simWordAt(request, 2);
        const int count = simWordAt(request, 4);
        if (count < 1 || count > kMaxReadCount)
            return exceptionAnswer(request, kIllegalValue);
        if (first + count > 0x10000)
            return exceptionAnswer(request, kIllegalAddress);
        QByteArray reply = request.left(2);
        reply.append(static_cast<char>(2 * count));
        for (int reg = first; reg < first + count; ++reg)
            appendWord(reply, registerValue(reg, elapsedMs));
        return reply;
    }
    if (function == kWriteMultiple) {
        // The register count, the byte count and the bytes that came must
        // all agree.
        if (request.size() < 7)
            return exceptionAnswer(request, kIllegalValue);
        const int first = simWordAt(request, 2);
        const int count = simWordAt(request, 4);
        if (count < 1 || count > kMaxWriteCount || simByteAt(request, 6) != 2 * count ||
            request.size() != 7 + 2 * count)
            return exceptionAnswer(request, kIllegalValue);
        if (first + count > 0x10000)
            return exceptionAnswer(request, kIllegalAddress);
        QList<quint16> values;
        for (int i = 0; i < count; ++i)
            values.append(static_cast<quint16>(simWordAt(request, 7 + 2 * i)));
        if (const quint8 code = write(first, values))
            return exceptionAnswer(request, code);
        return request.left(6);
    }
    return exceptionAnswer(request, kIllegalFunction);
}

QByteArray SimModule::exceptionAnswer(const QByteArray &request, quint8 code)
{
    QByteArray reply = request.left(2);
    reply[1] = static_cast<char>(simByteAt(request, 1) | 0x80);
    reply.append(static_cast<char>(code));
    return reply;
}

SimRelayModule::SimRelayModule(int module, quint32 seed) : SimUnit(seed), m_module(module) {}

quint8 SimRelayModule::readingByte(int index, int type, qint64 elapsedMs) const
{
    if (m_faults.forced[index])
        return static_cast<quint8>(*m_faults.forced[index]);
    if (type == kSimNotUsed)
        return 0;
    switch (m_faults.inputs[index]) {
    case Fault::Open:
        return kOpenByte;
    case Fault::Shorted:
        return kShortedByte;
    case Fault::OutOfRange:
        return type == kSim4to20mA ? kLoopOutOfRange : 254;
    default:
        break;
    }
    // Relay modules get units of their own, apart from Modbus addresses.
    const int tenths = simulatedReading(m_seed, 100 + m_module, index + 1, type, elapsedMs);
    const int value = type == kSim4to20mA ? tenths : qRound(tenths / 10.0) + 50;
    return static_cast<quint8>(std::clamp(value, 2, 254));
}

QByteArray SimRelayModule::answer(const QByteArray &poll, qint64 elapsedMs) const
{
    QByteArray reply;
    reply.append(poll.at(0));
    reply.append(static_cast<char>(kSimInputCount));
    reply.append(static_cast<char>(kMarker));
    for (int i = 0; i < kSimInputCount; ++i)
        reply.append(static_cast<char>(readingByte(i, simByteAt(poll, 3 + i), elapsedMs)));
    reply.append('\0');
    return reply;
}
