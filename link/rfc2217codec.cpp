#include "link/rfc2217codec.h"

namespace {

QByteArray Command(uint8_t command, std::initializer_list<uint8_t> value)
{
    QByteArray out;
    out.append(char(Rfc2217Codec::kIac));
    out.append(char(Rfc2217Codec::kSb));
    out.append(char(Rfc2217Codec::kComPort));
    out.append(char(command));
    for (const uint8_t byte : value) {
        out.append(char(byte));
        if (byte == Rfc2217Codec::kIac)
            out.append(char(byte));
    }
    out.append(char(Rfc2217Codec::kIac));
    out.append(char(Rfc2217Codec::kSe));
    return out;
}

} // namespace

QByteArray Rfc2217Codec::Opening()
{
    m_replies.clear();
    for (const uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
        m_us[option] = Q::WantYes;
        Say(kWill, option);
    }
    for (const uint8_t option : {kBinary, kSuppressGoAhead}) {
        m_him[option] = Q::WantYes;
        Say(kDo, option);
    }
    return TakeReplies();
}

void Rfc2217Codec::AppendData(QByteArray &out, const uint8_t *bytes, int count) const
{
    const bool binary = m_us[kBinary] == Q::Yes;
    for (int i = 0; i < count; ++i) {
        out.append(char(bytes[i]));
        if (bytes[i] == kIac)
            out.append(char(kIac));
        else if (bytes[i] == '\r' && !binary)
            out.append('\0');
    }
}

QByteArray Rfc2217Codec::BaudRate(int baud)
{
    const auto value = uint32_t(baud);
    return Command(kSetBaudRate, {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                                  uint8_t(value)});
}

QByteArray Rfc2217Codec::DataSize(int bits)
{
    return Command(kSetDataSize, {uint8_t(bits)});
}

QByteArray Rfc2217Codec::Parity(ParityBits parity)
{
    // 1 none, 2 odd, 3 even, 4 mark, 5 space.
    const uint8_t value = parity == ParityBits::Mark ? 4 : parity == ParityBits::Space ? 5 : 1;
    return Command(kSetParity, {value});
}

QByteArray Rfc2217Codec::StopSize(int bits)
{
    return Command(kSetStopSize, {uint8_t(bits)});
}

QByteArray Rfc2217Codec::Control(uint8_t value)
{
    return Command(kSetControl, {value});
}

QByteArray Rfc2217Codec::Purge(bool input, bool output)
{
    if (!input && !output)
        return {};
    return Command(kPurgeData, {uint8_t((input ? 1 : 0) | (output ? 2 : 0))});
}

bool Rfc2217Codec::Wanted(uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

void Rfc2217Codec::Say(uint8_t verb, uint8_t option)
{
    m_replies.append(char(kIac));
    m_replies.append(char(verb));
    m_replies.append(char(option));
}

void Rfc2217Codec::Negotiate(uint8_t verb, uint8_t option)
{
    // DO and DONT ask about what this side does, WILL and WONT about the
    // server.
    const bool aboutUs = verb == kDo || verb == kDont;
    const bool enable = verb == kDo || verb == kWill;
    Q &q = aboutUs ? m_us[option] : m_him[option];
    const uint8_t yes = aboutUs ? kWill : kDo;
    const uint8_t no = aboutUs ? kWont : kDont;
    const bool serverOption = !aboutUs && option == kComPort; // only we perform it
    if (enable) {
        if (q == Q::WantYes) {
            q = Q::Yes;
        } else if (q == Q::No) {
            if (Wanted(option) && !serverOption) {
                q = Q::Yes;
                Say(yes, option);
            } else {
                Say(no, option);
            }
        }
    } else {
        if (aboutUs && option == kComPort && q == Q::WantYes)
            m_comPortRefused = true;
        if (q == Q::Yes)
            Say(no, option);
        q = Q::No;
    }
}

void Rfc2217Codec::Feed(const char *bytes, int count, QByteArray &data)
{
    for (int i = 0; i < count; ++i) {
        const auto byte = uint8_t(bytes[i]);
        const bool binaryIn = m_him[kBinary] == Q::Yes;
        switch (m_state) {
        case State::AfterCr:
            m_state = State::Data;
            // Outside binary mode a CR travels as CR NUL.
            if (byte == 0 && !binaryIn)
                break;
            [[fallthrough]];
        case State::Data:
            if (byte == kIac) {
                m_state = State::Iac;
            } else {
                data.append(char(byte));
                if (byte == '\r' && !binaryIn)
                    m_state = State::AfterCr;
            }
            break;
        case State::Iac:
            if (byte == kIac) {
                data.append(char(byte));
                m_state = State::Data;
            } else if (byte >= kWill && byte <= kDont) {
                m_verb = byte;
                m_state = State::Verb;
            } else if (byte == kSb) {
                m_state = State::Sub;
                m_subOption = -1;
                m_subCommand = -1;
            } else {
                m_state = State::Data; // NOP, GA and the other commands: nothing to do
            }
            break;
        case State::Verb:
            Negotiate(m_verb, byte);
            m_state = State::Data;
            break;
        case State::Sub:
            if (byte == kIac) {
                m_state = State::SubIac;
                break;
            }
            SubByte(byte);
            break;
        case State::SubIac:
            // IAC SE ends the subnegotiation; IAC IAC is a data byte in it.
            if (byte == kSe) {
                if (m_subOption == kComPort && m_subCommand > 100)
                    ++m_answers[size_t(m_subCommand - 100)];
                m_state = State::Data;
            } else {
                SubByte(byte);
                m_state = State::Sub;
            }
            break;
        }
    }
}

void Rfc2217Codec::SubByte(uint8_t byte)
{
    if (m_subOption < 0)
        m_subOption = byte;
    else if (m_subCommand < 0)
        m_subCommand = byte;
}

QByteArray Rfc2217Codec::TakeReplies()
{
    QByteArray replies;
    replies.swap(m_replies);
    return replies;
}
