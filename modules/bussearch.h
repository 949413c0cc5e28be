#pragma once

#include "link/bustarget.h"
#include "modules/modulescan.h"

#include <QList>
#include <QString>

#include <functional>

class ModuleTable;

// The bus search: which of the addresses 1 to 63 answer, whatever the
// configuration lists, with the same questions the Miscellaneous Info scan
// asks (two registers each from 4, 5 and 7; see modules/modulescan.h), and
// what "add the modules found to the configuration" does to the table. No
// widget: the bus is a reader of Protocol::Read's shape, so a test drives the
// search with a recording function or the real master on the simulator.
//
// Each address is asked for its device type first. An address from which
// not one byte came back (ReadResult::Silent: nothing in either attempt of
// the guarded read) has no module and is asked nothing more. Any other
// address holds something: it is asked for its firmware and notch filter as
// well and listed with the three texts, "----" for a read that failed. So a
// module that answers only with exceptions or a bad CRC is still found.
//
// What that saves, with an attempt of at least 60 ms (5 + 5 ms before the
// request, 50 ms reply window; link/mbprotocol.h): a silent address costs
// one read of two attempts, 120 ms, where the scan of a listed but silent
// module costs three such reads, 360 ms; a module that answers costs three
// reads of one attempt each, 180 ms. 63 addresses of which 4 answer:
// 59 x 120 + 4 x 180 = 7,080 + 720 = 7,800 ms.
//
// Cancel: hooks.cancelled is asked before every read. Once it says true no
// further read is made and the search ends; the modules found until then
// are kept. A module whose device type was read but whose firmware or notch
// filter read was not made shows an empty text there ("not asked", unlike
// "----", "asked and failed").
//
// The search runs on the caller's thread and sets target.address before
// every read.

// One address that answered, with its three texts.
struct FoundModule
{
    int address = 0;
    ModuleInfo info;

    bool operator==(const FoundModule &) const = default;
};

struct BusSearchHooks
{
    // Told before address (1..63) is asked; a caller that shows progress
    // sets its maximum to kModuleCount.
    std::function<void(int address)> progress;
    // Takes each module found once its reads are done (or cut short).
    std::function<void(const FoundModule &module)> found;
    // Asked before every read; true ends the search.
    std::function<bool()> cancelled;
};

struct BusSearchResult
{
    // In ascending address order.
    QList<FoundModule> modules;
    // The last address asked: 63 after a whole search, less after a cancel
    // (0 when cancelled before the first).
    int last_address = 0;
    bool cancelled = false;
};

BusSearchResult SearchBus(BusTarget &target, const ProbeReader &read,
                          const BusSearchHooks &hooks = {});

// What the configuration says of a module, in the terms of the Configuration
// page: it is listed there (its group expanded, the module selected) and has
// an input in use, so it is sent to, scanned and metered; it is listed but
// every input is "Not Used" (the user has yet to choose its types); or it is
// not listed.
enum class ConfigurationMark
{
    Configured,
    ListedUnused,
    NotListed,
};

ConfigurationMark ConfigurationMarkOf(const ModuleTable &table, int m);
// "in configuration", "listed, input types to choose", "not in configuration".
QString ConfigurationMarkText(ConfigurationMark mark);

// "Add to Configuration": lists every address (1..63) of addresses that is
// not listed yet on the Configuration page (ConfigurationMark::NotListed): the
// module is selected and its group expanded. Input types are never written:
// a module that has types keeps them, and one that has none shows "Not Used"
// for the user to choose; "Send Configuration" writes it once an input has
// a type. A group that the add expands lists, as a loaded configuration file
// leaves it, the modules that have an input in use and those added; its other
// modules are deselected rather than shown as rows of "Not Used".
//
// Nothing changes while metering_on is set. Returns the addresses it listed,
// ascending; the caller shows the table in the tree and the grid.
QList<int> AddFoundModules(ModuleTable &table, const QList<int> &addresses);
