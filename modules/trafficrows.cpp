#include "modules/trafficrows.h"

#include "modules/moduletable.h"
#include "modules/readingconversion.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>

#include <algorithm>

namespace {

// Function codes of this program's exchanges.
constexpr int kReadHolding = 3;
constexpr int kWriteMultiple = 16;
constexpr int kRelayPoll = 9;

// A metering read: registers 16-23, the eight readings.
constexpr int kReadingsFirst = 16;
constexpr int kReadingsCount = 8;

// Relay-module reading bytes (debug/vrxprotocol.h): 255 shorted, 1 open;
// RTD inputs are degrees Celsius plus 50, 4-20 mA inputs tenths of a mA.
constexpr int kRelayShorted = 255;
constexpr int kRelayOpen = 1;
constexpr int kRelayCelsiusOffset = 50;

int storedLength(uint16_t length)
{
    return std::min<int>(length, ExchangeRecord::kStoredBytes);
}

QString hexText(const std::array<uint8_t, ExchangeRecord::kStoredBytes> &bytes, uint16_t length)
{
    const int kept = storedLength(length);
    QString text = QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.data()), kept)
            .toHex(' ')
            .toUpper());
    if (length > kept)
        text += QStringLiteral(" ... (%1 of %2 bytes kept)").arg(kept).arg(length);
    return text;
}

// The big-endian 16-bit words of bytes[from, from + 2 * count), as far as
// they are kept (and were received: limit is the full length).
std::vector<uint16_t> words(const std::array<uint8_t, ExchangeRecord::kStoredBytes> &bytes,
                            int from, int count, uint16_t limit)
{
    std::vector<uint16_t> values;
    const int end = std::min(storedLength(limit), from + 2 * count);
    for (int at = from; at + 1 < end; at += 2)
        values.push_back(uint16_t((bytes[size_t(at)] << 8) | bytes[size_t(at + 1)]));
    return values;
}

QString temperatureText(double celsius, const QString &unit)
{
    if (unit == QLatin1String("Fahrenheit"))
        return FormatOneDecimal(celsius * 9.0 / 5.0 + 32.0) + QStringLiteral(" °F");
    return FormatOneDecimal(celsius) + QStringLiteral(" °C");
}

// One Modbus reading register in words; type -1 when not known.
QString modbusReadingText(uint16_t raw, int type, const QString &unit)
{
    if (type == kNotUsed)
        return QStringLiteral("unused");
    const int value = int16_t(raw);
    if (value == kRawNotConfigured)
        return QStringLiteral("not configured");
    if (value == kRawSensorOpen)
        return QStringLiteral("open");
    if (value == kRawSensorShorted)
        return QStringLiteral("shorted");
    const double tenths = value / 10.0;
    if (type < 0)
        return FormatOneDecimal(tenths);
    if (type == k4to20mA) {
        if (value < kLoopRawMin || value > kLoopRawMax)
            return QStringLiteral("out of range (%1)").arg(value);
        return FormatOneDecimal(tenths) + QStringLiteral(" mA");
    }
    if (value < kRtdRawMin || value > kRtdRawMax)
        return QStringLiteral("out of range (%1)").arg(value);
    return temperatureText(tenths, unit);
}

QString relayReadingText(int byte, int type, const QString &unit)
{
    if (type == kNotUsed)
        return QStringLiteral("unused");
    if (byte == kRelayShorted)
        return QStringLiteral("shorted");
    if (byte == kRelayOpen)
        return QStringLiteral("open");
    if (type == k4to20mA)
        return FormatOneDecimal(byte / 10.0) + QStringLiteral(" mA");
    return temperatureText(byte - kRelayCelsiusOffset, unit);
}

QString joined(const QStringList &parts)
{
    return parts.join(QStringLiteral(", "));
}

QString numbers(const std::vector<uint16_t> &values)
{
    QStringList parts;
    for (uint16_t value : values)
        parts << QString::number(value);
    return joined(parts);
}

// "(28 of 40 values kept)" when a frame was cut short in the log.
QString cutNote(size_t shown, int count)
{
    if (shown >= size_t(count))
        return {};
    return QStringLiteral(" ... (%1 of %2 values kept)").arg(shown).arg(count);
}

QString decodedText(const ExchangeRecord &r, const TrafficDecoding &decoding)
{
    if (r.link == ExchangeLink::Relay) {
        // Request: address, 9, 1, eight types, CRC. Reply: echo, count,
        // 0x81, then the eight reading bytes.
        if (r.function != kRelayPoll || r.outcome != ExchangeOutcome::Answered ||
            storedLength(r.reply_length) < 3 + kReadingsCount ||
            storedLength(r.request_length) < 3 + kReadingsCount)
            return {};
        QStringList parts;
        for (int k = 0; k < kReadingsCount; ++k)
            parts << relayReadingText(r.reply[size_t(3 + k)], r.request[size_t(3 + k)],
                                      decoding.unit);
        return QStringLiteral("readings ") + joined(parts);
    }
    if (r.function == kWriteMultiple) {
        // Request: address, 16, first (2), count (2), byte count, values.
        const auto values = words(r.request, 7, r.count, r.request_length);
        if (values.empty())
            return {};
        return QStringLiteral("wrote ") + numbers(values) + cutNote(values.size(), r.count);
    }
    if (r.function == kReadHolding && r.outcome == ExchangeOutcome::Answered) {
        // Reply: address, 3, byte count, values, CRC.
        const auto values = words(r.reply, 3, r.count, r.reply_length);
        if (values.empty())
            return {};
        if (r.first_register == kReadingsFirst && r.count == kReadingsCount &&
            values.size() == size_t(kReadingsCount)) {
            QStringList parts;
            for (int k = 0; k < kReadingsCount; ++k) {
                const int type = decoding.inputType ? decoding.inputType(r.address, k + 1) : -1;
                parts << modbusReadingText(values[size_t(k)], type, decoding.unit);
            }
            return QStringLiteral("readings ") + joined(parts);
        }
        return QStringLiteral("values ") + numbers(values) + cutNote(values.size(), r.count);
    }
    return {};
}

QString functionText(const ExchangeRecord &r)
{
    if (r.link == ExchangeLink::Relay)
        return r.function == kRelayPoll ? QStringLiteral("9 relay poll")
                                        : QStringLiteral("%1 relay").arg(r.function);
    switch (r.function) {
    case kReadHolding:
        return QStringLiteral("3 read");
    case kWriteMultiple:
        return QStringLiteral("16 write");
    default:
        return QString::number(r.function);
    }
}

QString registersText(const ExchangeRecord &r)
{
    if (r.count == 0)
        return {};
    if (r.count == 1)
        return QString::number(r.first_register);
    return QStringLiteral("%1-%2 (%3)")
        .arg(r.first_register)
        .arg(int(r.first_register) + r.count - 1)
        .arg(r.count);
}

} // namespace

QString TrafficHeader(int column)
{
    switch (column) {
    case kTrafficTime:
        return QStringLiteral("Time");
    case kTrafficAddress:
        return QStringLiteral("Address");
    case kTrafficFunction:
        return QStringLiteral("Function");
    case kTrafficRegisters:
        return QStringLiteral("Registers");
    case kTrafficRequest:
        return QStringLiteral("Request →");
    case kTrafficReply:
        return QStringLiteral("Reply ←");
    case kTrafficDecoded:
        return QStringLiteral("Decoded");
    case kTrafficOutcome:
        return QStringLiteral("Outcome");
    case kTrafficDuration:
        return QStringLiteral("Duration (ms)");
    default:
        return {};
    }
}

QString TrafficCell(const ExchangeRecord &record, int column, const ExchangeLog &log,
                    const TrafficDecoding &decoding)
{
    switch (column) {
    case kTrafficTime:
        return QDateTime::fromMSecsSinceEpoch(record.time_us / 1000)
            .toString(QStringLiteral("hh:mm:ss.zzz"));
    case kTrafficAddress:
        return QString::number(record.address);
    case kTrafficFunction:
        return functionText(record);
    case kTrafficRegisters:
        return registersText(record);
    case kTrafficRequest:
        return hexText(record.request, record.request_length);
    case kTrafficReply:
        return hexText(record.reply, record.reply_length);
    case kTrafficDecoded:
        return decodedText(record, decoding);
    case kTrafficOutcome:
        return OutcomeText(record, log);
    case kTrafficDuration:
        return FormatOneDecimal(record.duration_us / 1000.0);
    default:
        return {};
    }
}

QStringList TrafficRowTexts(const ExchangeRecord &record, const ExchangeLog &log,
                            const TrafficDecoding &decoding)
{
    QStringList texts;
    for (int column = 0; column < kTrafficColumnCount; ++column)
        texts << TrafficCell(record, column, log, decoding);
    return texts;
}

bool TrafficFilter::Passes(const ExchangeRecord &record) const
{
    if (address != 0 && record.address != address)
        return false;
    return !failuresOnly || record.outcome != ExchangeOutcome::Answered;
}

TrafficFeed::TrafficFeed(size_t maxRows) : m_maxRows(std::max<size_t>(maxRows, 1)) {}

std::vector<ExchangeRecord> TrafficFeed::Collect(const ExchangeLog &log)
{
    std::vector<ExchangeRecord> fresh;
    const uint64_t first = log.FirstSequence();
    const uint64_t last = log.LastSequence();
    uint64_t from = m_collected + 1;
    if (!m_begun) {
        // The first look takes whatever the log still keeps.
        m_begun = true;
        from = std::max(from, first);
    }
    if (first > from) {
        m_missed += first - from;
        from = first;
    }
    // From the newest back, so a long catch-up stops at maxRows rows.
    for (uint64_t seq = last; seq >= from && seq > 0 && fresh.size() < m_maxRows; --seq) {
        const ExchangeRecord *record = log.Find(seq);
        if (record && m_filter.Passes(*record))
            fresh.push_back(*record);
    }
    std::reverse(fresh.begin(), fresh.end());
    m_collected = std::max(m_collected, last);
    return fresh;
}

size_t TrafficFeed::TrimCountFor(size_t fresh) const
{
    const size_t total = m_rows.size() + fresh;
    return total > m_maxRows ? std::min(total - m_maxRows, m_rows.size()) : 0;
}

void TrafficFeed::DropOldest(size_t count)
{
    count = std::min(count, m_rows.size());
    m_rows.erase(m_rows.begin(), m_rows.begin() + std::ptrdiff_t(count));
}

void TrafficFeed::Append(std::vector<ExchangeRecord> fresh)
{
    m_rows.insert(m_rows.end(), fresh.begin(), fresh.end());
    DropOldest(m_rows.size() > m_maxRows ? m_rows.size() - m_maxRows : 0);
}

void TrafficFeed::SetFilter(const ExchangeLog &log, const TrafficFilter &filter)
{
    m_filter = filter;
    m_rows.clear();
    const uint64_t first = std::max<uint64_t>(log.FirstSequence(), 1);
    for (uint64_t seq = m_collected; seq >= first && m_rows.size() < m_maxRows; --seq) {
        const ExchangeRecord *record = log.Find(seq);
        if (record && m_filter.Passes(*record))
            m_rows.push_front(*record);
    }
}

QString TrafficStatusText(size_t shown, size_t maxRows, uint64_t missed, bool paused)
{
    QString text = paused ? QStringLiteral("Paused. ") : QString();
    text += shown == 1 ? QStringLiteral("1 exchange shown")
                       : QStringLiteral("%1 exchanges shown").arg(shown);
    if (shown >= maxRows)
        text += QStringLiteral(" (the newest)");
    if (missed == 1)
        text += QStringLiteral("; 1 exchange not shown");
    else if (missed > 1)
        text += QStringLiteral("; %1 exchanges not shown").arg(missed);
    return text;
}

QString CsvField(const QString &text)
{
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                       text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
                       text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' '));
    if (!quote)
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString TrafficCsv(const std::vector<QStringList> &rows)
{
    const auto line = [](const QStringList &fields) {
        QStringList quoted;
        for (const QString &field : fields)
            quoted << CsvField(field);
        return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    QStringList titles;
    for (int column = 0; column < kTrafficColumnCount; ++column)
        titles << TrafficHeader(column);
    QString text = line(titles);
    for (const QStringList &row : rows)
        text += line(row);
    return text;
}

QString TrafficTabText(const std::vector<QStringList> &rows)
{
    QString text;
    for (const QStringList &row : rows) {
        QStringList fields;
        // A tab or line break inside a field would split it; none of our
        // texts has one, but a port's failure reason comes from outside.
        for (QString field : row)
            fields << field.replace(QLatin1Char('\t'), QLatin1Char(' '))
                          .replace(QLatin1Char('\n'), QLatin1Char(' '));
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

Result<> SaveTrafficText(const QString &path, const QString &text)
{
    const QString shown = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(QStringLiteral("%1 cannot be written: %2").arg(shown, file.errorString()));
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Fail(QStringLiteral("%1 cannot be written: %2").arg(shown, reason));
    }
    if (!file.commit())
        return Fail(QStringLiteral("%1 cannot be written: %2").arg(shown, file.errorString()));
    return {};
}
