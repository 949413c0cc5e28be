#pragma once

#include <QByteArray>
#include <QList>

#include <array>
#include <map>
#include <optional>

// The simulator's own copy of the bus facts it answers by. It takes none of
// them from the program (modules/, link/), so a test that runs the program's
// master against it compares the program's constants with an independent set.
inline constexpr int kSimMaxAddress = 63; // Modbus addresses 1..63
inline constexpr int kSimInputCount = 8;  // inputs per module

// Input type codes: the byte a module holds per input in registers 0..3 and
// the byte a relay module takes per input in its poll.
enum SimInputType : int
{
    kSimNotUsed = 0,
    kSimPt100 = 1,
    kSimNi100 = 2,
    kSimNi120 = 3,
    kSimCu10 = 4,
    kSim4to20mA = 5,
};

// What can go wrong with a simulated module. The reply faults change how a
// module answers; the reading faults change one input's reading; lost
// configuration is an event, not a lasting state.
enum class Fault
{
    None,
    // Reply faults, per module.
    Silent,    // no answer at all, and broadcasts are not applied either
    Late,      // the normal answer, complete about 80 ms after the request
    BadCrc,    // the normal answer with both CRC bytes inverted
    Exception, // every request refused with exception 4, nothing applied
    Garbage,   // random bytes, as many as the normal answer, never a valid frame
    // The normal answer, sound and with its CRC, from the next address
    // (address + 1, 1 after 63; a relay module echoes its address byte + 1).
    WrongAddress,
    // The first half of the normal answer (at least its first byte); the
    // rest never comes.
    CutOff,
    // Reading faults, per input; they show once the input has a type.
    Open,       // 21000, sensor open
    Shorted,    // 22000, sensor shorted
    OutOfRange, // 2500 (250.0 degrees) on an RTD input, 250 (25.0 mA) on 4-20 mA
    // Event: the module forgets the input types written to it, so every
    // input reads 20000 until a configuration is written again.
    LostConfiguration,
};

// Input type codes of one module, inputs 1..8 at index 0..7.
using SimInputTypes = std::array<int, kSimInputCount>;

// The faults set on one module. inputs[i] and forced[i] concern input i + 1;
// a forced raw value wins over everything else, even over 20000.
//
// registers[r] is a reply fault for the requests whose first register is r
// only, so that one of several reads of a module fails while the others are
// answered: with registers[5] = Exception the scan's reads from 4 and 7 are
// answered and its read from 5 is refused (the read from 4 spans 4 and 5 and
// is still answered). A fault of the whole module (reply) wins over it.
struct SimFaults
{
    Fault reply = Fault::None;
    std::array<Fault, kSimInputCount> inputs{};
    std::array<std::optional<quint16>, kSimInputCount> forced{};
    std::map<int, Fault> registers;

    bool operator==(const SimFaults &) const = default;
    bool isClear() const { return *this == SimFaults{}; }
    // The reply fault for a request starting at register first: reply, or
    // else the fault set on that register.
    Fault replyFaultFrom(int first) const;
};

// The identity registers a user or a test may set to any value, to show how
// the master takes a module of another kind, an odd firmware or a notch it
// does not know.
enum class SimIdentity
{
    DeviceType, // register 4
    Firmware,   // register 5
    Notch,      // register 7, the notch filter frequency in Hz
};

// The plausible reading of one input at elapsedMs after the simulator
// started, in tenths: a temperature in degrees Celsius drifting slowly around
// 20 to 25 degrees for RTD types (1..4), a loop current drifting around 11 to
// 13 mA for type 5, and 0 for type 0. The same seed, unit, input and time
// always give the same value; units and inputs differ from one another.
qint16 simulatedReading(quint32 seed, int unit, int input, int type, qint64 elapsedMs);

// What both kinds of simulated module have: the seed of their readings and
// the faults set on them.
class SimUnit
{
public:
    void setSeed(quint32 seed) { m_seed = seed; }
    SimFaults &faults() { return m_faults; }
    const SimFaults &faults() const { return m_faults; }

protected:
    explicit SimUnit(quint32 seed) : m_seed(seed) {}

    quint32 m_seed;
    SimFaults m_faults;
};

// The register image and request handling of one RTD module (Modbus slave).
//
//   0..3     input types, two per register: register r holds input 2r+1 in
//            the high byte and input 2r+2 in the low byte; written with
//            function 16, every code must be 0..5
//   4        device type, 202 unless set otherwise (setIdentity)
//   5        firmware version x 100, 311 unless set otherwise
//   7        notch filter frequency in Hz, 60 until changed by the notch
//            command or set otherwise
//   16..23   readings of inputs 1..8 in tenths, signed; 20000 while no
//            configuration has been written
//   46252    notch command: 256 + Hz for 10, 50 or 60 Hz; 46253 beside it
//            takes any value. Both read back what was written last.
// Every other register reads 0 and refuses writes.
class SimModule : public SimUnit
{
public:
    static constexpr quint16 kDeviceType = 202;
    static constexpr quint16 kFirmware = 311;
    static constexpr int kDefaultNotchHz = 60;
    static constexpr int kNotchCommandRegister = 46252;
    static constexpr quint16 kNotConfigured = 20000;
    static constexpr quint16 kOpen = 21000;
    static constexpr quint16 kShorted = 22000;

    // Modbus exception codes.
    static constexpr quint8 kIllegalFunction = 1;
    static constexpr quint8 kIllegalAddress = 2;
    static constexpr quint8 kIllegalValue = 3;
    static constexpr quint8 kDeviceFailure = 4;

    SimModule(int address, quint32 seed);

    int address() const { return m_address; }
    bool isConfigured() const { return m_configured; }
    SimInputTypes inputTypes() const { return m_types; }
    int notchHz() const { return m_notchHz; }
    quint16 identity(SimIdentity which) const;
    // Register 4, 5 or 7 reads value from now on; the notch command still
    // changes register 7.
    void setIdentity(SimIdentity which, quint16 value);

    // As if types had been written to registers 0..3. Codes are not checked.
    void configure(const SimInputTypes &types);
    void loseConfiguration();

    quint16 registerValue(int reg, qint64 elapsedMs) const;

    // The answer to a request frame of any length from 2 bytes (CRC already
    // checked and removed): for functions 3 and 16, or an exception answer
    // for anything it cannot serve, exception 1 for every other function.
    // Writes are applied before the answer is built. The answer has no CRC;
    // faults are not applied here.
    QByteArray answer(const QByteArray &request, qint64 elapsedMs);

    // An exception answer to request: address, function | 0x80, code.
    static QByteArray exceptionAnswer(const QByteArray &request, quint8 code);

private:
    quint16 reading(int index, qint64 elapsedMs) const;
    quint8 write(int first, const QList<quint16> &values);

    int m_address;
    bool m_configured = false;
    SimInputTypes m_types{};
    int m_notchHz = kDefaultNotchHz;
    quint16 m_deviceType = kDeviceType;
    quint16 m_firmware = kFirmware;
    std::array<quint16, 2> m_notchCommand{};
};

// One relay-integrated module (modules 1..3, link addresses 13..15).
//
// Poll:   [module + 12, 9, 1, eight type codes, CRC low, CRC high]
// Answer: [module + 12, 8, 0x81, eight reading bytes, one spare byte 0]
// A reading byte is 255 for a shorted sensor, 1 for an open one, otherwise
// tenths of a milliampere for type 5, degrees Celsius + 50 for the other
// types (kept within 2..254 so that it never reads as a fault), 0 for an
// unused input. The types come with every poll; the module keeps none.
class SimRelayModule : public SimUnit
{
public:
    static constexpr int kAddressOffset = 12;
    static constexpr int kCount = 3;
    static constexpr int kFirstAddress = kAddressOffset + 1;     // 13
    static constexpr int kLastAddress = kAddressOffset + kCount; // 15
    static constexpr int kPollLength = 13;
    static constexpr int kCommand = 9;
    static constexpr int kPollConstant = 1;
    static constexpr quint8 kMarker = 0x81;
    static constexpr quint8 kOpenByte = 1;
    static constexpr quint8 kShortedByte = 255;

    SimRelayModule(int module, quint32 seed);

    int module() const { return m_module; }

    // The answer to a poll frame (shape and CRC already checked), without
    // any reply fault applied.
    QByteArray answer(const QByteArray &poll, qint64 elapsedMs) const;

private:
    quint8 readingByte(int index, int type, qint64 elapsedMs) const;

    int m_module;
};
