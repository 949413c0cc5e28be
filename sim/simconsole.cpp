#include "sim/simconsole.h"

#include "sim/bussimulator.h"

#include <QRegularExpression>

#include <algorithm>
#include <set>

namespace {

struct FaultWord
{
    const char *word;
    Fault fault;
};

constexpr FaultWord kFaultWords[] = {
    {"none", Fault::None},
    {"silent", Fault::Silent},
    {"late", Fault::Late},
    {"badcrc", Fault::BadCrc},
    {"exception", Fault::Exception},
    {"garbage", Fault::Garbage},
    {"wrongaddress", Fault::WrongAddress},
    {"cutoff", Fault::CutOff},
    {"open", Fault::Open},
    {"shorted", Fault::Shorted},
    {"range", Fault::OutOfRange},
    {"lost", Fault::LostConfiguration},
};

// Names of the input type codes 0..5 as the command line takes and lists them.
constexpr const char *kTypeWords[] = {"none", "pt100", "ni100", "ni120", "cu10", "4-20ma"};

QString faultWord(Fault fault)
{
    for (const FaultWord &entry : kFaultWords) {
        if (entry.fault == fault)
            return QString::fromLatin1(entry.word);
    }
    return QString();
}

std::optional<Fault> faultFromWord(const QString &word)
{
    for (const FaultWord &entry : kFaultWords) {
        if (word.compare(QLatin1String(entry.word), Qt::CaseInsensitive) == 0)
            return entry.fault;
    }
    return std::nullopt;
}

// Words of the identity registers for the set command.
std::optional<SimIdentity> identityFromWord(const QString &word)
{
    const QString w = word.toLower();
    if (w == QLatin1String("device"))
        return SimIdentity::DeviceType;
    if (w == QLatin1String("firmware"))
        return SimIdentity::Firmware;
    if (w == QLatin1String("notch"))
        return SimIdentity::Notch;
    return std::nullopt;
}

std::optional<int> typeFromWord(const QString &word)
{
    const QString w = word.trimmed().toLower();
    for (int code = 0; code <= kSim4to20mA; ++code) {
        if (w == QLatin1String(kTypeWords[code]) || w == QString::number(code))
            return code;
    }
    return std::nullopt;
}

std::optional<int> number(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

QString ok()
{
    return QStringLiteral("ok");
}

// Splits "ADDR:TYPES" into the part before the first colon and the rest.
std::pair<QString, std::optional<QString>> splitSpec(const QString &spec)
{
    const qsizetype colon = spec.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {spec, std::nullopt};
    return {spec.left(colon), spec.mid(colon + 1)};
}

QString describeFaults(const SimFaults &faults)
{
    QStringList parts;
    if (faults.reply != Fault::None)
        parts << faultWord(faults.reply);
    for (int i = 0; i < kSimInputCount; ++i) {
        if (faults.forced[i])
            parts << QStringLiteral("input %1 = %2").arg(i + 1).arg(*faults.forced[i]);
        else if (faults.inputs[i] != Fault::None)
            parts << QStringLiteral("input %1 %2").arg(i + 1).arg(faultWord(faults.inputs[i]));
    }
    for (const auto &[first, fault] : faults.registers)
        parts << QStringLiteral("register %1 %2").arg(first).arg(faultWord(fault));
    return parts.isEmpty() ? QString()
                           : QStringLiteral("  faults: ") + parts.join(QStringLiteral(", "));
}

} // namespace

SimInputTypes SimConsole::defaultMix()
{
    return {kSimPt100, kSimPt100,   kSimNi100, kSimNi120,
            kSimCu10,  kSim4to20mA, kSimPt100, kSimNotUsed};
}

std::optional<SimInputTypes> SimConsole::parseInputTypes(const QString &text)
{
    const QStringList words = text.split(QLatin1Char(','));
    if (words.size() > kSimInputCount)
        return std::nullopt;
    SimInputTypes types{};
    for (int i = 0; i < words.size(); ++i) {
        const auto code = typeFromWord(words[i]);
        if (!code)
            return std::nullopt;
        types[i] = *code;
    }
    return types;
}

std::optional<QList<int>> SimConsole::parseAddressList(const QString &text)
{
    static const QRegularExpression item(QStringLiteral("^(\\d+)(?:-(\\d+))?$"));
    std::set<int> addresses;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const auto match = item.match(part.trimmed());
        if (!match.hasMatch())
            return std::nullopt;
        const auto low = number(match.captured(1), 1, kSimMaxAddress);
        const auto high = match.hasCaptured(2) ? number(match.captured(2), 1, kSimMaxAddress) : low;
        if (!low || !high || *high < *low)
            return std::nullopt;
        for (int address = *low; address <= *high; ++address)
            addresses.insert(address);
    }
    return QList<int>(addresses.begin(), addresses.end());
}

Result<> SimConsole::addModuleSpec(BusSimulator &sim, const QString &spec)
{
    const auto [addressText, typesText] = splitSpec(spec);
    const auto address = number(addressText, 1, kSimMaxAddress);
    if (!address)
        return Fail(QStringLiteral("module address must be 1..63: %1").arg(spec));
    std::optional<SimInputTypes> types;
    if (typesText) {
        types = parseInputTypes(*typesText);
        if (!types)
            return Fail(QStringLiteral("bad input types: %1").arg(*typesText));
    }
    if (!(types ? sim.addModule(*address, *types) : sim.addModule(*address)))
        return Fail(QStringLiteral("module %1 given twice").arg(*address));
    return {};
}

Result<> SimConsole::addModuleRange(BusSimulator &sim, const QString &spec)
{
    const auto [listText, typesText] = splitSpec(spec);
    const auto addresses = parseAddressList(listText);
    if (!addresses)
        return Fail(
            QStringLiteral("bad module list (addresses 1..63, such as 1-4,9): %1").arg(listText));
    const auto types = typesText ? parseInputTypes(*typesText) : defaultMix();
    if (!types)
        return Fail(QStringLiteral("bad input types: %1").arg(*typesText));
    for (const int address : *addresses) {
        if (!sim.addModule(address, *types))
            return Fail(QStringLiteral("module %1 given twice").arg(address));
    }
    return {};
}

Result<> SimConsole::applyFaultSpec(const QString &spec)
{
    const Result<QString> done = fault(spec.split(QLatin1Char(':')));
    if (!done)
        return Fail(done.error());
    return {};
}

Result<QString> SimConsole::execute(const QString &line)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QStringList words = line.trimmed().split(space, Qt::SkipEmptyParts);
    if (words.isEmpty())
        return QString();
    const QString command = words.takeFirst().toLower();
    if (command == QLatin1String("fault"))
        return fault(words);
    if (command == QLatin1String("clear"))
        return clear(words);
    if (command == QLatin1String("set"))
        return set(words);
    if (command == QLatin1String("list") && words.isEmpty())
        return list();
    if (command == QLatin1String("log"))
        return log(words);
    if (command == QLatin1String("report"))
        return report(words);
    if (command == QLatin1String("chaos"))
        return chaos(words);
    if (command == QLatin1String("vanish") && words.isEmpty()) {
        if (!m_sim.vanish())
            return Fail(QStringLiteral("the line cannot vanish now"));
        return ok();
    }
    if (command == QLatin1String("return") && words.isEmpty()) {
        if (const Result<> back = m_sim.reappear(); !back)
            return Fail(back.error());
        if (!m_sim.listenUrl().isEmpty())
            return QStringLiteral("ok: %1").arg(m_sim.listenUrl());
        return QStringLiteral("ok: %1 -> %2").arg(m_sim.linkPath(), m_sim.ptyPath());
    }
    if (command == QLatin1String("help") || command == QLatin1String("?"))
        return commandHelp().trimmed();
    if (command == QLatin1String("quit") || command == QLatin1String("exit")) {
        m_quit = true;
        return QStringLiteral("bye");
    }
    return Fail(QStringLiteral("unknown command '%1' (try help)").arg(line.trimmed()));
}

Result<QString> SimConsole::fault(const QStringList &args)
{
    if (args.size() < 2)
        return Fail(QStringLiteral("usage: fault ADDR KIND [INPUT [RAW]]"));
    const QString target = args[0].toLower();
    const bool relay = target.startsWith(QLatin1Char('r'));
    const auto address = relay ? number(target.mid(1), 1, SimRelayModule::kCount)
                               : number(target, 1, kSimMaxAddress);
    if (!address)
        return Fail(QStringLiteral("no such module: %1 (1..63, or r1..r3 for a relay module)")
                        .arg(args[0]));

    const QString kind = args[1].toLower();
    if (kind == QLatin1String("value")) {
        const auto input = args.size() == 4 ? number(args[2], 1, kSimInputCount) : std::nullopt;
        const auto raw =
            args.size() == 4 ? number(args[3], -32768, relay ? 255 : 65535) : std::nullopt;
        if (!input || !raw)
            return Fail(QStringLiteral("usage: fault ADDR value INPUT RAW (input 1..8)"));
        const bool done = relay ? m_sim.setRelayReading(*address, *input, static_cast<quint8>(*raw))
                                : m_sim.setReading(*address, *input, static_cast<quint16>(*raw));
        if (!done)
            return Fail(QStringLiteral("module %1 is not simulated").arg(args[0]));
        return ok();
    }
    const auto fault = faultFromWord(kind);
    if (!fault)
        return Fail(QStringLiteral("unknown fault '%1' (see help)").arg(args[1]));
    if (args.size() >= 3 && args[2].compare(QLatin1String("register"), Qt::CaseInsensitive) == 0)
        return registerFault(*address, relay, *fault, args);
    if (args.size() > 3)
        return Fail(QStringLiteral("too many words"));
    const auto input = args.size() == 3 ? number(args[2], 1, kSimInputCount) : 0;
    if (!input)
        return Fail(QStringLiteral("input must be 1..8: %1").arg(args[2]));
    const bool done = relay ? m_sim.setRelayFault(*address, *fault, *input)
                            : m_sim.setFault(*address, *fault, *input);
    if (done)
        return ok();
    if (relay ? !m_sim.relayFaults(*address) : !m_sim.moduleState(*address))
        return Fail(QStringLiteral("module %1 is not simulated").arg(args[0]));
    return Fail(QStringLiteral("fault %1 does not apply %2")
                    .arg(kind, *input ? QStringLiteral("to one input")
                                      : QStringLiteral("to a whole module")));
}

Result<QString> SimConsole::registerFault(int address, bool relay, Fault fault,
                                          const QStringList &args)
{
    const auto first = args.size() == 4 ? number(args[3], 0, 0xFFFF) : std::nullopt;
    if (!first)
        return Fail(QStringLiteral("usage: fault ADDR KIND register REG (register 0..65535)"));
    if (relay)
        return Fail(QStringLiteral("a relay module has no registers"));
    if (m_sim.setRegisterFault(address, *first, fault))
        return ok();
    if (!m_sim.moduleState(address))
        return Fail(QStringLiteral("module %1 is not simulated").arg(address));
    return Fail(QStringLiteral("fault %1 does not apply to a register").arg(faultWord(fault)));
}

Result<QString> SimConsole::set(const QStringList &args)
{
    if (args.size() != 3)
        return Fail(QStringLiteral("usage: set ADDR device|firmware|notch VALUE"));
    const auto address = number(args[0], 1, kSimMaxAddress);
    if (!address)
        return Fail(QStringLiteral("module address must be 1..63: %1").arg(args[0]));
    const auto which = identityFromWord(args[1]);
    if (!which)
        return Fail(QStringLiteral("set takes device, firmware or notch: %1").arg(args[1]));
    const auto value = number(args[2], 0, 0xFFFF);
    if (!value)
        return Fail(QStringLiteral("value must be 0..65535: %1").arg(args[2]));
    if (!m_sim.setIdentity(*address, *which, static_cast<quint16>(*value)))
        return Fail(QStringLiteral("module %1 is not simulated").arg(*address));
    return ok();
}

Result<> SimConsole::applySetSpec(const QString &spec)
{
    const Result<QString> done = set(spec.split(QLatin1Char(':')));
    if (!done)
        return Fail(done.error());
    return {};
}

Result<QString> SimConsole::clear(const QStringList &args)
{
    if (args.size() != 1)
        return Fail(QStringLiteral("usage: clear ADDR | clear all"));
    const QString target = args[0].toLower();
    if (target == QLatin1String("all")) {
        m_sim.clearAllFaults();
        return ok();
    }
    if (target.startsWith(QLatin1Char('r'))) {
        const auto module = number(target.mid(1), 1, SimRelayModule::kCount);
        if (!module)
            return Fail(QStringLiteral("no such relay module: %1").arg(args[0]));
        m_sim.clearRelayFaults(*module);
        return ok();
    }
    const auto address = number(target, 1, kSimMaxAddress);
    if (!address || !m_sim.moduleState(*address))
        return Fail(QStringLiteral("module %1 is not simulated").arg(args[0]));
    m_sim.clearFaults(*address);
    return ok();
}

Result<QString> SimConsole::chaos(const QStringList &args)
{
    if (args.size() > 1)
        return Fail(QStringLiteral("usage: chaos [PERCENT]"));
    if (args.size() == 1) {
        const auto percent = number(args[0], 0, 100);
        if (!percent || !m_sim.setChaos(*percent))
            return Fail(QStringLiteral("percent must be 0..100: %1").arg(args[0]));
        return ok();
    }
    QStringList counts;
    qint64 total = 0;
    for (const auto &[kind, count] : m_sim.chaosCounts()) {
        counts << QStringLiteral("%1 %2").arg(faultWord(kind)).arg(count);
        total += count;
    }
    return QStringLiteral("chaos %1 %: %2 random faults%3")
        .arg(m_sim.chaos())
        .arg(total)
        .arg(counts.isEmpty()
                 ? QString()
                 : QStringLiteral(" (") + counts.join(QStringLiteral(", ")) + QLatin1Char(')'));
}

QString SimConsole::list() const
{
    QString line;
    const QString url = m_sim.listenUrl();
    const QString client = m_sim.clientAddress();
    if (!url.isEmpty() && m_sim.hasVanished())
        line = QStringLiteral("line: %1 (vanished)").arg(url);
    else if (!url.isEmpty() && client.isEmpty())
        line = QStringLiteral("line: %1 (no client)").arg(url);
    else if (!url.isEmpty())
        line = QStringLiteral("line: %1 (client %2)").arg(url, client);
    else if (m_sim.linkPath().isEmpty())
        line = QStringLiteral("line: serial port");
    else if (m_sim.hasVanished())
        line = QStringLiteral("line: %1 (vanished)").arg(m_sim.linkPath());
    else
        line = QStringLiteral("line: %1 -> %2").arg(m_sim.linkPath(), m_sim.ptyPath());
    if (m_sim.pacing())
        line += QStringLiteral(", replies paced, turnaround %1 ms")
                    .arg(double(m_sim.turnaround().count()) / 1000.0);
    else
        line += QStringLiteral(", replies not paced");
    if (m_sim.chaos() > 0)
        line += QStringLiteral(", random faults on %1 % of the requests").arg(m_sim.chaos());
    QStringList lines{line};
    for (const int address : m_sim.moduleAddresses()) {
        const SimModuleState state = *m_sim.moduleState(address);
        QString types;
        if (state.configured) {
            QStringList words;
            for (const int code : state.inputTypes)
                words << QString::fromLatin1(kTypeWords[std::clamp(code, 0, int(kSim4to20mA))]);
            types = words.join(QLatin1Char(','));
        } else {
            types = QStringLiteral("(no configuration)");
        }
        lines << QStringLiteral("module %1: %2  device %3  firmware %4  notch %5 Hz%6")
                     .arg(address, 2)
                     .arg(types)
                     .arg(state.deviceType)
                     .arg(state.firmware)
                     .arg(state.notchHz)
                     .arg(describeFaults(state.faults));
    }
    if (m_sim.relayModules()) {
        for (int module = 1; module <= SimRelayModule::kCount; ++module)
            lines << QStringLiteral("relay module r%1 (link address %2)%3")
                         .arg(module)
                         .arg(module + SimRelayModule::kAddressOffset)
                         .arg(describeFaults(*m_sim.relayFaults(module)));
    }
    return lines.join(QLatin1Char('\n'));
}

QString SimConsole::describeAction(const SimAction &action)
{
    const SimRequest &r = action.request;
    QString fault = faultWord(action.fault);
    if (action.input > 0)
        fault += QStringLiteral(" on input %1").arg(action.input);
    if (action.drawn)
        fault += QStringLiteral(" (chaos)");
    return QStringLiteral("request %1: address %2 function %3 first %4 count %5: %6-> %7")
        .arg(action.number)
        .arg(r.address)
        .arg(r.function)
        .arg(r.first)
        .arg(r.count)
        .arg(action.fault == Fault::None ? QString() : fault + QLatin1Char(' '))
        .arg(action.outcome);
}

namespace {

// The log and report commands: the latest N entries (args: [N], 10 when
// not given), one line each.
template <typename Entry, typename Describe>
Result<QString> latest(const QStringList &args, const QList<Entry> &entries, const char *usage,
                       Describe describe)
{
    const auto count =
        args.isEmpty() ? 10 : number(args[0], 1, int(BusSimulator::kMaxLoggedRequests));
    if (!count || args.size() > 1)
        return Fail(QString::fromLatin1(usage));
    QStringList lines;
    for (qsizetype i = std::max<qsizetype>(0, entries.size() - *count); i < entries.size(); ++i)
        lines << describe(entries[i]);
    return lines.isEmpty() ? QStringLiteral("(no requests yet)") : lines.join(QLatin1Char('\n'));
}

QString describeRequest(const SimRequest &r)
{
    QString line = QStringLiteral("address %1 function %2 first %3 count %4")
                       .arg(r.address)
                       .arg(r.function)
                       .arg(r.first)
                       .arg(r.count);
    if (!r.values.isEmpty()) {
        QStringList values;
        for (const quint16 v : r.values)
            values << QString::number(v);
        line += QStringLiteral(" values ") + values.join(QLatin1Char(' '));
    }
    return line;
}

} // namespace

Result<QString> SimConsole::report(const QStringList &args) const
{
    return latest(args, m_sim.actions(), "usage: report [N]", &SimConsole::describeAction);
}

Result<QString> SimConsole::log(const QStringList &args) const
{
    return latest(args, m_sim.requests(), "usage: log [N]", describeRequest);
}

QString SimConsole::commandHelp()
{
    return QStringLiteral(
        "Commands on standard input, one per line:\n"
        "  fault ADDR KIND          reply fault of module ADDR (1..63):\n"
        "                             silent     no answer at all\n"
        "                             late       answer after 80 ms, past the 50 ms window\n"
        "                             badcrc     answer with a wrong CRC\n"
        "                             exception  refuse every request (exception 4)\n"
        "                             garbage    random bytes instead of the answer\n"
        "                             wrongaddress  the answer from address ADDR + 1\n"
        "                                        (1 after 63)\n"
        "                             cutoff     the first half of the answer only\n"
        "                             none       answer normally again\n"
        "  fault ADDR KIND INPUT    reading fault of input 1..8, once it has a type:\n"
        "                             open (21000), shorted (22000),\n"
        "                             range (2500 on RTD, 250 on 4-20 mA), none\n"
        "  fault ADDR value INPUT RAW\n"
        "                           input reads the raw register value RAW\n"
        "  fault ADDR lost          module forgets its input types (reads 20000)\n"
        "  fault ADDR KIND register REG\n"
        "                           reply fault (silent, late, badcrc, exception,\n"
        "                           garbage, wrongaddress, cutoff, none) only for\n"
        "                           the requests whose\n"
        "                           first register is REG: 'fault 5 exception\n"
        "                           register 5' refuses the read of the firmware\n"
        "                           and answers the device type and the notch\n"
        "  set ADDR device N        register 4 (device type, 202) reads N\n"
        "  set ADDR firmware N      register 5 (firmware x 100, 311) reads N\n"
        "  set ADDR notch N         register 7 (notch filter Hz, 60) reads N;\n"
        "                           N is 0..65535, kept until set again (the\n"
        "                           notch command still changes the notch)\n"
        "  fault rN ...             the same for relay module N (1..3); there\n"
        "                           badcrc, exception and lost do not apply,\n"
        "                           open reads 1, shorted 255, RAW is a byte\n"
        "  chaos PERCENT            PERCENT (0..100) of the requests meet one\n"
        "                           random fault: silent, late, badcrc,\n"
        "                           exception, garbage, open, shorted, range\n"
        "                           (one input, that reply only) or lost; relay\n"
        "                           modules silent, late, garbage, open, shorted\n"
        "  chaos                    the random faults met so far, by kind\n"
        "  clear ADDR | clear rN | clear all\n"
        "                           remove the faults of one module or of all\n"
        "  vanish                   the line goes away: pty closed, link removed\n"
        "                           (--listen: the client and the listener close)\n"
        "  return                   a new pty under the same link (--listen: it\n"
        "                           listens again on the same address and port)\n"
        "  list                     modules, their types, identity and faults\n"
        "  log [N]                  the last N requests received (default 10)\n"
        "  report [N]               what was done to the last N requests: the fault\n"
        "                           applied and the outcome a master should record,\n"
        "                           'request 7: address 5 function 3 first 16\n"
        "                           count 8: badcrc -> CRC error'\n"
        "  help                     this text\n"
        "  quit                     stop (so do end of input, SIGINT, SIGTERM)\n");
}
