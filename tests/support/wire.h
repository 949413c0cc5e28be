#pragma once

// Tests write wire frames out as hexadecimal text, CRC included, so that the
// expected bytes come from outside the code under test.

#include <QByteArray>
#include <QString>

// "05 03 00 04 00 01 C4 4F" -> those eight bytes; spaces are ignored.
QByteArray frame(const char *hex);

// The bytes as upper-case hex pairs with single spaces: "01 83 02".
QString hexOf(const QByteArray &bytes);
