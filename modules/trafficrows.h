#pragma once

#include "link/exchangelog.h"
#include "result/result.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// What the traffic window shows of the exchange log, apart from any widget:
// the texts of a record's row, the filter, the rows that follow the log by
// sequence number, and the copied and saved text.
//
// One row per attempt, request and reply side by side. The log keeps one
// record per attempt, and the outcome and the duration belong to the pair,
// not to either half; a row per direction would show every outcome twice
// and make a filtered view cut pairs apart. A metering read of module 2,
// answered:
//
//   time          addr function registers  outcome   ms    request (→)
//   09:05:07.042  2    3 read   16-23 (8)  answered  14.2  02 03 00 10 00 08 45 FA
//   reply (←): 02 03 10 00 D7 00 DA ...
//   decoded: readings 21.5 °C, 21.8 °C, open, shorted, not configured, 12.0 mA, ...
//
// Bytes beyond the kStoredBytes the log keeps are not known: such a cell
// shows what is kept and says so ("... (64 of 89 bytes kept)").

// The outcome comes before the bytes, so that it stays in sight in a
// narrow window; the long texts (bytes, decoded values) come last.
enum TrafficColumn : int
{
    kTrafficTime,
    kTrafficAddress,
    kTrafficFunction,
    kTrafficRegisters,
    kTrafficOutcome,
    kTrafficDuration,
    kTrafficRequest,
    kTrafficReply,
    kTrafficDecoded,
    kTrafficColumnCount,
};

// The column titles, as the view's header and the CSV's first line.
QString TrafficHeader(int column);

// What decoding a reading needs beyond the record: the input type code
// (modules/moduletable.h) of input 1..8 of a Modbus module, or -1 when not
// known (then a reading shows as a bare number), and the temperature unit
// preference ("Celsius", "Fahrenheit"). The types are those configured now,
// not when the record was made.
struct TrafficDecoding
{
    std::function<int(int address, int input)> inputType{};
    QString unit = QStringLiteral("Celsius");
};

// The text of one cell of record's row. Time is local "hh:mm:ss.mmm";
// duration milliseconds with one decimal; bytes in upper-case hex, spaced;
// decoded: the register values of a read's reply ("values 202, 311"), the
// eight readings in words for a read of registers 16-23 or a relay poll,
// the values of a write's request ("wrote 1, 1, 2, 0"); empty where nothing
// decodes (a failed read, an exception).
QString TrafficCell(const ExchangeRecord &record, int column, const ExchangeLog &log,
                    const TrafficDecoding &decoding);
QStringList TrafficRowTexts(const ExchangeRecord &record, const ExchangeLog &log,
                            const TrafficDecoding &decoding);

// Which records the window shows: address 0 is every address; failuresOnly
// keeps the attempts whose outcome is not Answered.
struct TrafficFilter
{
    int address = 0;
    bool failuresOnly = false;

    bool Passes(const ExchangeRecord &record) const;
};

// The records a view shows, following the log by sequence number: at most
// maxRows of them, the newest that pass the filter, copied out of the log
// (a row stays while the ring moves on).
//
// The view asks Collect for what came since it last asked, then drops the
// oldest rows (DropOldest with TrimCountFor) and appends the batch
// (Append), so that a model can announce each step as one change. A view
// that is paused simply does not ask; when it asks again it catches up.
// Records the ring has already pushed out by then are counted in missed(),
// never guessed at.
class TrafficFeed
{
public:
    static constexpr size_t kDefaultMaxRows = 10000;

    explicit TrafficFeed(size_t maxRows = kDefaultMaxRows);

    // The records after the last one collected up to log.LastSequence()
    // that pass filter, the newest maxRows of them at most.
    std::vector<ExchangeRecord> Collect(const ExchangeLog &log);
    // How many of the oldest rows go for a batch of fresh rows to fit.
    size_t TrimCountFor(size_t fresh) const;
    void DropOldest(size_t count);
    void Append(std::vector<ExchangeRecord> fresh);

    // A new filter: the rows are chosen again from what the log still keeps,
    // up to the record collected last (a paused view stays where it is).
    void SetFilter(const ExchangeLog &log, const TrafficFilter &filter);
    const TrafficFilter &filter() const { return m_filter; }

    const std::deque<ExchangeRecord> &rows() const { return m_rows; }
    size_t maxRows() const { return m_maxRows; }
    // Records made since the first Collect that the ring pushed out before
    // they were collected (the first Collect takes what the log keeps).
    uint64_t missed() const { return m_missed; }
    // The sequence number of the newest record collected (0: none yet).
    uint64_t collectedUpTo() const { return m_collected; }

private:
    size_t m_maxRows;
    TrafficFilter m_filter;
    std::deque<ExchangeRecord> m_rows;
    bool m_begun = false;
    uint64_t m_collected = 0;
    uint64_t m_missed = 0;
};

// The window's status line: "Paused. " while paused, then "120 exchanges
// shown" (with " (the newest)" when maxRows are shown), then, when the ring
// overtook the view, "; 500 exchanges not shown".
QString TrafficStatusText(size_t shown, size_t maxRows, uint64_t missed, bool paused);

// Rows as text: CSV with a title line, fields quoted where they hold a
// comma, a quote, a line break or an edge space (quotes doubled), lines
// ended by CR LF; and tab-separated lines for the clipboard, without titles.
QString CsvField(const QString &text);
QString TrafficCsv(const std::vector<QStringList> &rows);
QString TrafficTabText(const std::vector<QStringList> &rows);

// Writes text to path as UTF-8 through a temporary file in the same folder,
// renamed over path once whole: a failure leaves path as it was and no
// partial file. The failure names the file and the reason.
Result<> SaveTrafficText(const QString &path, const QString &text);
