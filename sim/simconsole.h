#pragma once

#include "result/result.h"
#include "sim/simmodule.h"

#include <QList>
#include <QString>

#include <optional>

class BusSimulator;
struct SimAction;

// The commands kelvora-sim takes on its standard input, one per line, and
// the module and fault specifications of its command line. Fault options use
// the same words as the fault command, with colons for spaces.
//
// Each returns a Result: a command that fails gives a Failure whose text
// says what was wrong, in words for the person who typed it; the program
// prints it after "error: ".
class SimConsole
{
public:
    explicit SimConsole(BusSimulator &sim) : m_sim(sim) {}

    // Carries out one command line and gives what to print: "ok", a
    // listing, or an empty text for a blank line.
    Result<QString> execute(const QString &line);
    bool quitRequested() const { return m_quit; }

    // "ADDR:KIND[:INPUT[:RAW]]" or "ADDR:KIND:register:REG", as the fault
    // command's arguments.
    Result<> applyFaultSpec(const QString &spec);
    // "ADDR:WHAT:VALUE", as the set command's arguments (5:device:201).
    Result<> applySetSpec(const QString &spec);

    // "ADDR[:TYPES]": adds one module, holding TYPES when given and not yet
    // configured otherwise.
    static Result<> addModuleSpec(BusSimulator &sim, const QString &spec);
    // "LIST[:TYPES]": adds the modules of LIST (such as "1-4,9"), each
    // holding TYPES or else the default mix. Modules before the one that
    // fails stay added.
    static Result<> addModuleRange(BusSimulator &sim, const QString &spec);

    // Up to eight comma-separated type names or codes; inputs not named are
    // not used.
    static std::optional<SimInputTypes> parseInputTypes(const QString &text);
    // "1-4,7,9-10": addresses 1..63, ascending, each once.
    static std::optional<QList<int>> parseAddressList(const QString &text);
    // Pt100, Pt100, Ni100, Ni120, Cu10, 4-20 mA, Pt100, not used.
    static SimInputTypes defaultMix();

    // The help for the commands, as the program's --help shows it too.
    static QString commandHelp();

    // One request and what was done to it, as the report command and the
    // program's --report list it: "request 7: address 5 function 3 first 16
    // count 8: badcrc -> CRC error"; without a fault, "...: -> answered".
    static QString describeAction(const SimAction &action);

private:
    Result<QString> fault(const QStringList &args);
    Result<QString> registerFault(int address, bool relay, Fault fault, const QStringList &args);
    Result<QString> set(const QStringList &args);
    Result<QString> clear(const QStringList &args);
    Result<QString> chaos(const QStringList &args);
    QString list() const;
    Result<QString> log(const QStringList &args) const;
    Result<QString> report(const QStringList &args) const;

    BusSimulator &m_sim;
    bool m_quit = false;
};
