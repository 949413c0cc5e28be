#include "metering/busstatus.h"

#include "config/configregisters.h"
#include "modules/modulescan.h"

#include <QDateTime>

namespace {

constexpr uint8_t kReadFunction = 3;
constexpr uint8_t kWriteFunction = 16;

const ModuleBusStatus kNoModule{};

} // namespace

BusStatus::BusStatus(ExchangeLog &log) : m_log(log)
{
    m_listener = m_log.AddListener([this](const ExchangeRecord &record) { Take(record); });
}

BusStatus::~BusStatus()
{
    m_log.RemoveListener(m_listener);
}

void BusStatus::Take(const ExchangeRecord &record)
{
    if (record.link != ExchangeLink::Modbus || record.address < 1 || record.address > kModuleCount)
        return;
    ModuleBusStatus &module = m_modules[record.address];
    const bool answered = record.outcome == ExchangeOutcome::Answered;
    if (answered)
        module.last_round_trip_us = record.duration_us;
    if (!record.ends_call)
        return;

    if (record.function == kReadFunction) {
        module.last_read = record;
        ++module.period_reads;
        if (answered) {
            ++module.reads_answered;
            ++module.period_answered;
            module.last_answer_us = record.time_us;
            module.failing_since_us = 0;
            module.state = ModuleAnswering::Answering;
        } else {
            ++module.reads_failed;
            module.last_failure = record;
            if (module.failing_since_us == 0)
                module.failing_since_us = record.time_us;
            if (module.state != ModuleAnswering::NotAnswering)
                module.state = ModuleAnswering::LastFailed;
        }
    } else if (record.function == kWriteFunction) {
        if (record.first_register == kConfigFirstRegister)
            module.last_send = record;
        else if (record.first_register == kNotchCommandRegister)
            module.last_notch = record;
    }
}

void BusStatus::Reset()
{
    for (ModuleBusStatus &module : m_modules) {
        module.reads_answered = 0;
        module.reads_failed = 0;
        module.state = ModuleAnswering::NotReadYet;
        module.failing_since_us = 0;
        module.period_reads = 0;
        module.period_answered = 0;
    }
}

void BusStatus::PeriodStarted()
{
    for (ModuleBusStatus &module : m_modules) {
        if (module.period_reads > 0 && module.period_answered == 0)
            module.state = ModuleAnswering::NotAnswering;
        module.period_reads = 0;
        module.period_answered = 0;
    }
}

const ModuleBusStatus &BusStatus::Module(int address) const
{
    if (address < 1 || address > kModuleCount)
        return kNoModule;
    return m_modules[size_t(address)];
}

QString BusStatus::Outcome(const std::optional<ExchangeRecord> &record) const
{
    return record ? OutcomeText(*record, m_log) : QString();
}

QString BusStatus::StateText(ModuleAnswering state)
{
    switch (state) {
    case ModuleAnswering::NotReadYet:
        return QStringLiteral("not read yet");
    case ModuleAnswering::Answering:
        return QStringLiteral("answering");
    case ModuleAnswering::LastFailed:
        return QStringLiteral("last read failed");
    case ModuleAnswering::NotAnswering:
        return QStringLiteral("not answering");
    }
    return {};
}

QString BusStatus::TimeText(int64_t time_us)
{
    if (time_us == 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(time_us / 1000).toString(QStringLiteral("HH:mm:ss"));
}

QString BusStatus::RoundTripText(int32_t duration_us)
{
    if (duration_us < 0)
        return {};
    return QStringLiteral("%1 ms").arg((duration_us + 500) / 1000);
}

QString BusStatus::ModuleHint(int m) const
{
    const ModuleBusStatus &module = Module(m);
    const int reads = module.reads_answered + module.reads_failed;
    if (reads == 0)
        return {};
    const QString head = QStringLiteral("Module %1: ").arg(m);
    const QString count =
        QStringLiteral("%1 of %2 reads answered").arg(module.reads_answered).arg(reads);
    if (module.state == ModuleAnswering::Answering) {
        QString hint = head + QStringLiteral("answering, ") + count;
        if (module.last_round_trip_us >= 0)
            hint += QStringLiteral(", last round trip ") + RoundTripText(module.last_round_trip_us);
        return hint;
    }
    // The words of the outcome only where they say more than "no answer".
    QString since = QStringLiteral("no answer since ") + TimeText(module.failing_since_us);
    if (module.last_failure && module.last_failure->outcome != ExchangeOutcome::NoAnswer)
        since += QStringLiteral(" (last: %1)").arg(Outcome(module.last_failure));
    if (module.state == ModuleAnswering::NotAnswering)
        since = QStringLiteral("not answering for a whole period, ") + since;
    return head + since + QStringLiteral(", ") + count;
}

QList<int> BusStatus::ConfiguredModules(const ModuleTable &table)
{
    // A copy, so that the table's own active set stays as the pages set it.
    ModuleTable copy = table;
    copy.UpdateActiveModules();
    QList<int> modules;
    for (int m = 1; m <= kModuleCount; ++m) {
        if (copy.module_active[size_t(m)] == kMarkOn)
            modules.append(m);
    }
    return modules;
}
