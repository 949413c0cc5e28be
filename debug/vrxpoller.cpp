#include "debug/vrxpoller.h"

#include <algorithm>

namespace {

// Reading bytes with a meaning of their own.
constexpr int kShortedByte = 255;
constexpr int kOpenByte = 1;
// An RTD reading byte is degrees Celsius plus 50 (0..255 covers -50..205).
constexpr int kCelsiusOffset = 50;

const QString kFailedText = QStringLiteral("----");

} // namespace

VrxPoller::VrxPoller(VrxPollFunction poll, VrxPollHooks hooks)
    : m_poll(std::move(poll)), m_hooks(std::move(hooks))
{}

QList<int> VrxPoller::ListedModules() const
{
    QList<int> modules;
    for (int m = 1; m <= kVrxModules; ++m) {
        if (vrx_module_state[size_t(m)] == kMarkOn)
            modules.append(m);
    }
    return modules;
}

QList<int> VrxPoller::ModulesToPoll() const
{
    QList<int> modules;
    for (const int m : ListedModules()) {
        const VrxTypes types = Types(m);
        if (std::any_of(types.begin(), types.end(), [](int type) { return type != kNotUsed; }))
            modules.append(m);
    }
    return modules;
}

VrxTypes VrxPoller::Types(int m) const
{
    VrxTypes types{};
    if (!ValidModule(m))
        return types;
    for (int k = 1; k <= kInputCount; ++k)
        types[size_t(k - 1)] = vrx_input_type[size_t(k)][size_t(m)];
    return types;
}

bool VrxPoller::SetModuleState(int m, int state)
{
    if (polling || !ValidModule(m))
        return false;
    vrx_module_state[size_t(m)] = state;
    return true;
}

bool VrxPoller::SetInputType(int m, int k, int type)
{
    if (polling || !ValidModule(m) || !ValidInput(k) || type < kNotUsed || type > k4to20mA)
        return false;
    vrx_input_type[size_t(k)][size_t(m)] = type;
    return true;
}

bool VrxPoller::CopyToRow(int m, int k)
{
    if (polling || !ValidModule(m) || !ValidInput(k))
        return false;
    const int v = vrx_input_type[size_t(k)][size_t(m)];
    for (int input = 1; input <= kInputCount; ++input)
        vrx_input_type[size_t(input)][size_t(m)] = v;
    return true;
}

bool VrxPoller::CopyToColumn(int m, int k)
{
    if (polling || !ValidModule(m) || !ValidInput(k))
        return false;
    const int v = vrx_input_type[size_t(k)][size_t(m)];
    for (const int listed : ListedModules())
        vrx_input_type[size_t(k)][size_t(listed)] = v;
    return true;
}

bool VrxPoller::CopyToAll(int m, int k)
{
    if (polling || !ValidModule(m) || !ValidInput(k))
        return false;
    const int v = vrx_input_type[size_t(k)][size_t(m)];
    for (const int listed : ListedModules()) {
        for (int input = 1; input <= kInputCount; ++input)
            vrx_input_type[size_t(input)][size_t(listed)] = v;
    }
    return true;
}

bool VrxPoller::ClearAll()
{
    if (polling)
        return false;
    for (const int listed : ListedModules()) {
        for (int input = 1; input <= kInputCount; ++input)
            vrx_input_type[size_t(input)][size_t(listed)] = kNotUsed;
    }
    return true;
}

bool VrxPoller::Enable()
{
    m_rows.clear();
    const QList<int> modules = ModulesToPoll();
    if (modules.isEmpty())
        return false;
    for (const int m : modules)
        m_rows.append(VrxPollRow{m, {}, false});
    polling = true;
    next_row = 1;
    return true;
}

void VrxPoller::Disable()
{
    polling = false;
}

int VrxPoller::Next_Request(VrxTypes &types)
{
    if (m_hooks.txOn)
        m_hooks.txOn();
    // The grid's row count is one more than the module rows (its header).
    if (next_row < 1 || next_row >= int(m_rows.size()) + 1)
        next_row = 1;
    if (m_rows.isEmpty()) {
        types = {};
        return 0;
    }
    const int module = m_rows[next_row - 1].module;
    types = Types(module);
    ++next_row;
    return module;
}

void VrxPoller::Show_Reply(bool ok, int module, const std::array<int, kInputCount> &readings)
{
    for (int row = 1; row <= int(m_rows.size()); ++row) {
        if (m_rows[row - 1].fresh) {
            m_rows[row - 1].fresh = false;
            ShowRow(row);
        }
    }
    if (ok && m_hooks.rxOn)
        m_hooks.rxOn();
    const int row = RowOf(module);
    if (row == 0)
        return;
    VrxPollRow &target = m_rows[row - 1];
    target.fresh = true;
    for (int k = 1; k <= kInputCount; ++k) {
        QString &text = target.texts[size_t(k - 1)];
        text = ok ? ReadingText(readings[size_t(k - 1)], vrx_input_type[size_t(k)][size_t(module)],
                                unit_name, text)
                  : kFailedText;
    }
    ShowRow(row);
}

void VrxPoller::Poll_Next_Module()
{
    if (!polling)
        return;
    VrxTypes types{};
    const int module = Next_Request(types);
    if (module == 0)
        return;
    VrxResult result;
    const bool ok = m_poll && m_poll(module, types, result);
    Show_Reply(ok, module, result.readings);
}

int VrxPoller::RowOf(int m) const
{
    for (int row = 1; row <= int(m_rows.size()); ++row) {
        if (m_rows[row - 1].module == m)
            return row;
    }
    return 0;
}

QString VrxPoller::ReadingText(int v, int type, const QString &unit, const QString &previous)
{
    if (v == kShortedByte)
        return QStringLiteral("SH");
    if (v == kOpenByte)
        return QStringLiteral("OP");
    if (type == k4to20mA)
        return FormatOneDecimal(v * 0.1);
    // Whole degrees from the byte; in Fahrenheit they become tenths (x 1.8),
    // and single precision keeps those far closer than the half tenth that
    // would change the rounding.
    const float celsius = float(v - kCelsiusOffset);
    if (unit == QLatin1String("Celsius"))
        return FormatOneDecimal(double(celsius));
    if (unit == QLatin1String("Fahrenheit"))
        return FormatOneDecimal(double(celsius * 9.0f * 0.2f + 32.0f));
    return previous;
}

void VrxPoller::ShowRow(int row) const
{
    if (m_hooks.showRow)
        m_hooks.showRow(row);
}
