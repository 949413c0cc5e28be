#pragma once

#include "debug/vrxprotocol.h"
#include "modules/moduletable.h"
#include "modules/readingconversion.h"

#include <QList>
#include <QString>

#include <array>
#include <functional>

// The eight type codes a poll sends, input k + 1 at [k].
using VrxTypes = std::array<int, kInputCount>;

// One exchange with relay module `module` (1..3): sends the eight type codes,
// fills result and says whether the module answered soundly. In the program
// it is PollModule of a new VRXProtocol on vrx_comport; a test gives a table.
using VrxPollFunction = std::function<bool(int module, const VrxTypes &types, VrxResult &result)>;

// What the polling view is told while it runs. Every hook is optional.
struct VrxPollHooks
{
    std::function<void()> txOn{}; // a request is about to leave (every poll)
    std::function<void()> rxOn{}; // an answer was accepted
    // Polling row `row` (1..) has new texts or lost or gained its fresh mark.
    std::function<void(int row)> showRow{};
};

// One row of the polling view: the module it shows, its latest eight texts,
// and the fresh mark, set while the row holds the outcome of the latest poll
// (the page draws that row's texts blue).
struct VrxPollRow
{
    int module = 0;
    ReadingTexts texts{};
    bool fresh = false;
};

// The debug page's logic apart from any widget and timer: the input types of
// relay modules 1..3 that the editing half changes, and the polling view that
// Enable builds from them.
//
// Editing. vrx_module_state[m] is 3 for a module with the green dot and 2 (or
// 0, as at creation) for one with the cross; the listed modules are those
// with 3, in ascending order, and the copy operations touch only them. While
// polling, every change is refused: the module stays polled with the types it
// was enabled with.
//
// Polling. Enable lists, in ascending order, each selected module with at
// least one input in use: with modules 2 and 3 selected and configured and
// module 1 not, row 1 shows module 2 and row 2 module 3. Each tick of the
// 1200 ms timer (Poll_Next_Module) asks Next_Request for the next row's
// module, rows 1, 2, ..., last, 1, 2, ..., sends that module its eight types
// through the poll function, and hands the outcome to Show_Reply, which
// writes it into the module's row and moves the fresh mark there.
//
// A reading byte v becomes its text in this order: 255 "SH", 1 "OP"; on a
// 4-20 mA input v tenths of a milliampere (120 is "12.0"); otherwise v - 50
// degrees Celsius, in unit_name's unit (75 is "25.0" in Celsius, "77.0" in
// Fahrenheit); with any other unit name the text stays as it was. A failed
// poll writes "----" into every input of its row, which still takes the
// fresh mark.
//
// Nothing here waits or looks at a clock: the poll function does the
// exchange, and a test drives the view tick by tick.
class VrxPoller
{
public:
    static constexpr int kVrxModules = 3;

    explicit VrxPoller(VrxPollFunction poll = {}, VrxPollHooks hooks = {});

    // --- editing ------------------------------------------------------------
    // vrx_module_state[m], m = 1..3; vrx_input_type[k][m], input k = 1..8.
    std::array<int, kVrxModules + 1> vrx_module_state{};
    std::array<std::array<int, kVrxModules + 1>, kInputCount + 1> vrx_input_type{};

    // The selected modules, ascending: the rows of the configuration grid.
    QList<int> ListedModules() const;
    // The selected modules with at least one input in use: what Enable polls.
    QList<int> ModulesToPoll() const;
    // The type codes of module m's inputs 1..8.
    VrxTypes Types(int m) const;

    // Each returns whether it changed the table; all refuse while polling
    // and for a module outside 1..3 or an input outside 1..8. The copies take
    // the type of input k of module m: to all eight inputs of m (row), to
    // input k of every listed module (column), to every input of every
    // listed module (all). ClearAll sets every input of every listed module
    // to "Not Used".
    bool SetModuleState(int m, int state);
    bool SetInputType(int m, int k, int type);
    bool CopyToRow(int m, int k);
    bool CopyToColumn(int m, int k);
    bool CopyToAll(int m, int k);
    bool ClearAll();

    // --- polling ------------------------------------------------------------
    // True between an Enable that found a module and the next Disable.
    bool polling = false;
    // The row Next_Request polls next, 1..
    int next_row = 1;
    // "Celsius" or "Fahrenheit", from the temperature preference.
    QString unit_name;

    // Empties the polling view and, when at least one module has something to
    // poll, lists those modules with empty texts and no fresh mark, starts
    // polling at row 1 and returns true. Otherwise returns false and polling
    // does not start.
    bool Enable();
    // Stops polling; the rows keep their last texts until the next Enable.
    void Disable();

    // The module of row next_row and its eight types; moves next_row on,
    // back to row 1 after the last. Tells txOn first. 0 (and eight zeros)
    // when the view has no row.
    int Next_Request(VrxTypes &types);
    // Writes the outcome of polling module into its row and gives that row
    // the fresh mark, taking it from every other row; tells rxOn when ok.
    void Show_Reply(bool ok, int module, const std::array<int, kInputCount> &readings);
    // One tick of the polling timer: Next_Request, the poll, Show_Reply.
    // Does nothing unless polling.
    void Poll_Next_Module();

    // The rows of the polling view, row r (1..) at [r - 1].
    const QList<VrxPollRow> &Rows() const { return m_rows; }
    // The row of module m, 0 when it has none.
    int RowOf(int m) const;

    // The text of reading byte v on an input of the given type; previous is
    // what the cell showed, kept when the unit is neither "Celsius" nor
    // "Fahrenheit".
    static QString ReadingText(int v, int type, const QString &unit, const QString &previous);

private:
    static bool ValidModule(int m) { return m >= 1 && m <= kVrxModules; }
    static bool ValidInput(int k) { return k >= 1 && k <= kInputCount; }
    void ShowRow(int row) const;

    VrxPollFunction m_poll;
    VrxPollHooks m_hooks;
    QList<VrxPollRow> m_rows;
};
