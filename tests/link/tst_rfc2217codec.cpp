// The Telnet side of an RFC 2217 port, byte for byte: what the client sends,
// how it answers a server's option talk without ever answering an answer,
// and the serial data it takes out of the server's stream however the
// stream is cut.

#include "link/rfc2217codec.h"

#include <QtTest>

namespace {

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

class TestRfc2217Codec : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void dataIsEscaped_data();
    void dataIsEscaped();
    void optionTalk_data();
    void optionTalk();
    void serverStreamInAnyPieces_data();
    void serverStreamInAnyPieces();
};

void TestRfc2217Codec::commands_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("19200 baud") << Rfc2217Codec::BaudRate(19200) << Hex("fffa2c0100004b00fff0");
    QTest::newRow("57600 baud") << Rfc2217Codec::BaudRate(57600) << Hex("fffa2c010000e100fff0");
    // A 0xFF in a value is doubled like any other.
    QTest::newRow("baud with an FF byte") << Rfc2217Codec::BaudRate(0xFF)
                                          << Hex("fffa2c01000000ffff"
                                                 "fff0");
    QTest::newRow("8 data bits") << Rfc2217Codec::DataSize(8) << Hex("fffa2c0208fff0");
    QTest::newRow("no parity") << Rfc2217Codec::Parity(ParityBits::None) << Hex("fffa2c0301fff0");
    QTest::newRow("mark parity") << Rfc2217Codec::Parity(ParityBits::Mark) << Hex("fffa2c0304fff0");
    QTest::newRow("space parity") << Rfc2217Codec::Parity(ParityBits::Space)
                                  << Hex("fffa2c0305fff0");
    QTest::newRow("1 stop bit") << Rfc2217Codec::StopSize(1) << Hex("fffa2c0401fff0");
    QTest::newRow("DTR off") << Rfc2217Codec::Control(Rfc2217Codec::kDtrOff)
                             << Hex("fffa2c0509fff0");
    QTest::newRow("purge input") << Rfc2217Codec::Purge(true, false) << Hex("fffa2c0c01fff0");
    QTest::newRow("purge output") << Rfc2217Codec::Purge(false, true) << Hex("fffa2c0c02fff0");
    QTest::newRow("purge both") << Rfc2217Codec::Purge(true, true) << Hex("fffa2c0c03fff0");
    QTest::newRow("purge nothing") << Rfc2217Codec::Purge(false, false) << QByteArray();
}

void TestRfc2217Codec::commands()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    QCOMPARE(command.toHex(), expected.toHex());
}

void TestRfc2217Codec::dataIsEscaped_data()
{
    QTest::addColumn<bool>("binary"); // the server agreed to binary mode
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("binary, FF doubled") << true << Hex("01ff03") << Hex("01ffff03");
    QTest::newRow("binary, CR as it is") << true << Hex("0d0a0d") << Hex("0d0a0d");
    QTest::newRow("not binary, CR NUL") << false << Hex("0d0a0d") << Hex("0d000a0d00");
    QTest::newRow("not binary, FF doubled") << false << Hex("ffff") << Hex("ffffffff");
}

void TestRfc2217Codec::dataIsEscaped()
{
    QFETCH(bool, binary);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, sent);
    Rfc2217Codec codec;
    codec.Opening();
    QByteArray ignored;
    if (binary)
        codec.Feed("\xff\xfd\x00", 3, ignored); // DO BINARY, to our WILL
    QByteArray out;
    codec.AppendData(out, reinterpret_cast<const uint8_t *>(data.constData()), int(data.size()));
    QCOMPARE(out.toHex(), sent.toHex());
}

void TestRfc2217Codec::optionTalk_data()
{
    QTest::addColumn<QByteArray>("server");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("refused");
    // The opening offers: WILL BINARY, SGA, COM-PORT; DO BINARY, SGA.
    QTest::newRow("agrees to all we asked: no reply")
        << Hex("fffd00fffd03fffd2cfffb00fffb03") << QByteArray() << true << false;
    QTest::newRow("asks again for what is agreed: no reply")
        << Hex("fffd2cfffd2cfffd2c") << QByteArray() << true << false;
    QTest::newRow("asks for ECHO: refused once each time")
        << Hex("fffd01") << Hex("fffc01") << false << false;
    QTest::newRow("offers ECHO: refused") << Hex("fffb01") << Hex("fffe01") << false << false;
    QTest::newRow("refuses COM port control") << Hex("fffe2c") << QByteArray() << false << true;
    QTest::newRow("agrees, then withdraws COM port control: acknowledged")
        << Hex("fffd2cfffe2c") << Hex("fffc2c") << false << false;
    QTest::newRow("offers to do COM port control itself: refused")
        << Hex("fffb2c") << Hex("fffe2c") << false << false;
    QTest::newRow("answers of commands are no options")
        << Hex("fffd2cfffa2c6500004b00fff0") << QByteArray() << true << false;
}

void TestRfc2217Codec::optionTalk()
{
    QFETCH(QByteArray, server);
    QFETCH(QByteArray, replies);
    QFETCH(bool, accepted);
    QFETCH(bool, refused);
    Rfc2217Codec codec;
    QCOMPARE(codec.Opening().toHex(), Hex("fffb00fffb03fffb2cfffd00fffd03").toHex());
    QByteArray data;
    codec.Feed(server.constData(), int(server.size()), data);
    QCOMPARE(codec.TakeReplies().toHex(), replies.toHex());
    QVERIFY(data.isEmpty());
    QCOMPARE(codec.ComPortAccepted(), accepted);
    QCOMPARE(codec.ComPortRefused(), refused);
}

void TestRfc2217Codec::serverStreamInAnyPieces_data()
{
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("parityAnswers");
    QTest::newRow("plain reply") << true << Hex("0603040001ca37") << Hex("0603040001ca37") << 0;
    QTest::newRow("FF doubled in the data") << true << Hex("01ffff02ffff") << Hex("01ff02ff") << 0;
    QTest::newRow("answers among the data, FF in one")
        << true << Hex("01fffa2c6704fff002fffa2c6500ffff0000fff003") << Hex("010203") << 1;
    QTest::newRow("line state and modem state notices dropped")
        << true << Hex("fffa2c6a60fff0aafffa2c6bb0fff0bb") << Hex("aabb") << 0;
    QTest::newRow("NOP and GA dropped") << true << Hex("01fff102fff903") << Hex("010203") << 0;
    QTest::newRow("outside binary mode, CR NUL is CR")
        << false << Hex("0d000a0d0d00") << Hex("0d0a0d0d") << 0;
    QTest::newRow("in binary mode, NUL after CR stays")
        << true << Hex("0d000a") << Hex("0d000a") << 0;
    QTest::newRow("two parity answers")
        << true << Hex("fffa2c6704fff0fffa2c6705fff0") << QByteArray() << 2;
}

// The stream is fed whole, and again one byte at a time: the result is the
// same.
void TestRfc2217Codec::serverStreamInAnyPieces()
{
    QFETCH(bool, binary);
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, data);
    QFETCH(int, parityAnswers);
    for (const int piece : {int(stream.size()), 1, 2}) {
        Rfc2217Codec codec;
        codec.Opening();
        QByteArray out;
        if (binary)
            codec.Feed("\xff\xfb\x00", 3, out); // WILL BINARY, to our DO
        for (qsizetype at = 0; at < stream.size(); at += piece)
            codec.Feed(stream.constData() + at, int(std::min<qsizetype>(piece, stream.size() - at)),
                       out);
        QCOMPARE(out.toHex(), data.toHex());
        QCOMPARE(codec.Answers(Rfc2217Codec::kSetParity), parityAnswers);
        QVERIFY(codec.TakeReplies().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestRfc2217Codec)
#include "tst_rfc2217codec.moc"
