#pragma once

#include "link/busline.h"
#include "link/serialline.h"

#include <array>
#include <cstdint>

class ExchangeRecorder;

// What one poll of a relay-integrated RTD module (VRX-RTD) returns.
struct VrxResult
{
    int module = 0; // the reply's address byte minus 12
    // readings[k] is the reading byte of input k + 1 (0..255): 255 shorted,
    // 1 open; else tenths of a milliampere for a 4-20 mA input and degrees
    // Celsius plus 50 for the RTD types.
    std::array<int, 8> readings{};
};

// The relay-module link: one request/reply exchange per PollModule, at 57600
// baud with the parity bit used as a ninth data bit. The address byte leaves
// with mark parity (bit 1) and the rest of the request with space parity
// (bit 0); the parity changes by closing the line, setting the new parity and
// opening it again, so the address byte has left before the line switches.
//
// Request, 13 bytes: module + 12 (13, 14, 15 for modules 1, 2, 3), command 9,
// constant 1, the eight input type codes, CRC-16/MODBUS over those 11 bytes
// from the two byte tables, low byte first. Module 1 with every input unused:
// 0D 09 01 00 00 00 00 00 00 00 00 E0 F7.
//
// Reply, read one byte at a time 50 ms after the request, never waiting for a
// byte: the address echo, a count N, the marker 0x81, then N + 1 bytes of
// which the first eight are the readings. At 57600 baud an 11-bit character
// takes 0.19 ms, so a 12-byte reply needs 2.3 ms of the 50 ms window.
// A count below 7 (fewer than eight readings) or above 16 (more than the 17
// bytes a reply may carry after the marker) fails at once; the unread bytes
// are purged by the next exchange. The bytes after the readings are read and
// not checked.
//
// The line is left open, with space parity, after the exchange; its owner
// closes it when polling stops. The exchange takes no system-wide guard.
// On a line that carries an exchange log each poll leaves one ExchangeRecord
// (link/exchangelog.h): link Relay, address the address byte sent (module +
// 12: 13, 14, 15), function the command 9, count 8, the 13 request bytes and
// the reply bytes as taken. Its outcome follows from what was read: no byte,
// "no answer"; another address byte, "answer from address N"; a marker other
// than 0x81 or a count outside 7..16, "bad reply"; a byte missing, an
// incomplete reply of 4 + N bytes once the count N is known. A poll is
// attempt 1 and its own result.
//
// No port error (EComPortError) is thrown: every failure of the line or the
// module is a false result. Any other exception is a fault of the program and
// passes on to its error report.
class VRXProtocol
{
public:
    static constexpr int kBaudRate = 57600;

    // wait: how the exchange waits; WaitMs (link/busline.h) when empty.
    explicit VRXProtocol(SerialLine *port, WaitFunction wait = {});

    // types[k] is the type code of input k + 1; each is sent as its low byte.
    // On false, result is undefined.
    bool PollModule(int module, const std::array<int, 8> &types, VrxResult &result);

private:
    // The reply to the poll sent to address, taken as the class says; its
    // outcome goes to recorder.
    bool TakeReply(uint8_t address, VrxResult &result, ExchangeRecorder &recorder);

    SerialLine *m_port;
    BusLine m_bus;
};
