#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16 of Modbus RTU (CRC-16/MODBUS): reflected polynomial 0xA001, initial
// value 0xFFFF, no final XOR. The value's low byte goes on the wire first.
// Check value: the nine characters "123456789" give 0x4B37.
//
// A frame followed by its own CRC, low byte first, runs the CRC to 0; that is
// how a receiver checks a reply without splitting off the CRC field.

inline constexpr uint16_t kCrcInit = 0xFFFF;

// One byte, bit by bit: XOR it into the low byte, then eight times shift right
// and XOR 0xA001 when a 1 was shifted out. The Modbus master runs this over
// each byte as it sends or receives it.
constexpr uint16_t Crc16Update(uint16_t crc, uint8_t byte)
{
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 1u) ? uint16_t((crc >> 1) ^ 0xA001u) : uint16_t(crc >> 1);
    return crc;
}

constexpr uint16_t Crc16Bitwise(const uint8_t *data, size_t length)
{
    uint16_t crc = kCrcInit;
    for (size_t i = 0; i < length; ++i)
        crc = Crc16Update(crc, data[i]);
    return crc;
}

// The same CRC from the two 256-entry byte tables published with the Modbus
// serial line guide, one table for each CRC byte. The relay-module link uses
// this form.
uint16_t Crc16Table(const uint8_t *data, size_t length);
