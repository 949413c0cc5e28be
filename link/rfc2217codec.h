#pragma once

#include "link/serialline.h"

#include <QByteArray>

#include <array>
#include <cstdint>

// The client's side of a Telnet connection with the COM Port Control option
// (RFC 2217), as bytes in and bytes out; the socket is NetPort's.
//
// Out: the serial data, with every 0xFF doubled (and a CR followed by NUL
// while the binary option is off), and the COM port commands: baud rate,
// data size, parity (mark and space included), stop bits, flow control, DTR
// and RTS, purge.
//
// In: Feed takes whatever the server sent, however it was cut into pieces,
// and gives the serial data back; what the server negotiates is answered by
// the bytes that Replies collects. The option talk follows the "Q method" of
// RFC 1143, so that neither side ever answers an answer: the client offers
// and asks for BINARY and SUPPRESS-GO-AHEAD and offers COM-PORT-OPTION
// (Opening), agrees to nothing else, and a server that asks again for what
// is already agreed gets no reply. The server's own COM port answers (the
// settings it took, line and modem state) are read and dropped: the line
// goes on with what the client set; only how many of each came is kept
// (Answers), so that a change of the line can wait for the server to have
// made it.
class Rfc2217Codec
{
public:
    static constexpr uint8_t kIac = 255;
    static constexpr uint8_t kDont = 254;
    static constexpr uint8_t kDo = 253;
    static constexpr uint8_t kWont = 252;
    static constexpr uint8_t kWill = 251;
    static constexpr uint8_t kSb = 250;
    static constexpr uint8_t kSe = 240;
    static constexpr uint8_t kBinary = 0;
    static constexpr uint8_t kSuppressGoAhead = 3;
    static constexpr uint8_t kComPort = 44;

    // COM port commands of the client; the server answers each with the
    // command plus 100.
    static constexpr uint8_t kSetBaudRate = 1;
    static constexpr uint8_t kSetDataSize = 2;
    static constexpr uint8_t kSetParity = 3;
    static constexpr uint8_t kSetStopSize = 4;
    static constexpr uint8_t kSetControl = 5;
    static constexpr uint8_t kPurgeData = 12;

    // SET-CONTROL values.
    static constexpr uint8_t kNoFlowControl = 1;
    static constexpr uint8_t kDtrOff = 9;
    static constexpr uint8_t kRtsOff = 12;

    Rfc2217Codec() = default;

    // The offers a client makes as the connection opens.
    QByteArray Opening();

    // Appends count data bytes to out, escaped for the connection.
    void AppendData(QByteArray &out, const uint8_t *bytes, int count) const;

    // The COM port commands.
    static QByteArray BaudRate(int baud);
    static QByteArray DataSize(int bits);
    static QByteArray Parity(ParityBits parity);
    static QByteArray StopSize(int bits);
    static QByteArray Control(uint8_t value);
    // PURGE-DATA: 1 the server's receive buffer, 2 its transmit buffer, 3
    // both; nothing when neither is asked for.
    static QByteArray Purge(bool input, bool output);

    // Takes count bytes from the server; the serial data among them is
    // appended to data.
    void Feed(const char *bytes, int count, QByteArray &data);
    // The answers owed to the server since the last call.
    QByteArray TakeReplies();

    // How many answers the server has sent to a command (kSetBaudRate,
    // kSetParity, ...): it sends one for each once it has applied it.
    int Answers(uint8_t command) const { return m_answers[command]; }

    // The server agreed to COM port control; the line may now be set.
    bool ComPortAccepted() const { return m_us[kComPort] == Q::Yes; }
    // The server refused it.
    bool ComPortRefused() const { return m_comPortRefused; }

private:
    enum class Q : uint8_t
    {
        No,
        Yes,
        WantYes
    };
    enum class State : uint8_t
    {
        Data,
        Iac,
        Verb,
        Sub,
        SubIac,
        AfterCr
    };

    static bool Wanted(uint8_t option);
    void Negotiate(uint8_t verb, uint8_t option);
    void Say(uint8_t verb, uint8_t option);
    void SubByte(uint8_t byte);

    std::array<Q, 256> m_us{};  // options this side performs
    std::array<Q, 256> m_him{}; // options the server performs
    std::array<int, 256> m_answers{};
    bool m_comPortRefused = false;
    // The option and first byte of the subnegotiation being read.
    int m_subOption = -1;
    int m_subCommand = -1;
    State m_state = State::Data;
    uint8_t m_verb = 0;
    QByteArray m_replies;
};
