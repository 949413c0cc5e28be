#include "modules/bussearchwindow.h"

#include "config/tmessageboxf.h"
#include "link/protocol.h"
#include "modules/moduletable.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kAddressRole = Qt::UserRole;
constexpr int kColWidths[BusSearchWindow::kColumnCount] = {70, 110, 120, 160, 200};

QString ModulesText(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 module") : QStringLiteral("%1 modules").arg(n);
}

QString ModuleListText(const QList<int> &addresses)
{
    QStringList names;
    for (const int m : addresses)
        names << QStringLiteral("Module %1").arg(m);
    return names.join(QStringLiteral(", "));
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption,
                        const QString &description)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setAccessibleDescription(description);
    button->setAutoDefault(false);
    return button;
}

} // namespace

BusSearchWindow::BusSearchWindow(ModuleTable &table, Hooks hooks, QWidget *parent)
    : QDialog(parent), m_table(table), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("BusSearch_F"));
    setWindowTitle(QStringLiteral("Bus Search"));

    summary_L = new QLabel(
        QStringLiteral("Search asks every address from 1 to %1 for its device type, firmware "
                       "version and notch filter frequency.")
            .arg(kModuleCount),
        this);
    summary_L->setObjectName(QStringLiteral("summary_L"));
    summary_L->setWordWrap(true);

    found_G = new QTableWidget(0, kColumnCount, this);
    found_G->setObjectName(QStringLiteral("found_G"));
    found_G->setAccessibleName(QStringLiteral("Modules found"));
    found_G->setHorizontalHeaderLabels({QStringLiteral("Address"), QStringLiteral("Device Type"),
                                        QStringLiteral("Firmware Version"),
                                        QStringLiteral("Notch Filter Frequency"),
                                        QStringLiteral("Configuration")});
    for (int c = 0; c < kColumnCount; ++c)
        found_G->setColumnWidth(c, kColWidths[c]);
    found_G->horizontalHeader()->setStretchLastSection(true);
    found_G->verticalHeader()->hide();
    found_G->setSelectionBehavior(QAbstractItemView::SelectRows);
    found_G->setSelectionMode(QAbstractItemView::ExtendedSelection);
    found_G->setEditTriggers(QAbstractItemView::NoEditTriggers);
    found_G->setTabKeyNavigation(false);

    search_B =
        MakeButton(this, "search_B", QStringLiteral("&Search"),
                   QStringLiteral("Asks every address from 1 to 63 which module answers there"));
    add_B = MakeButton(this, "add_B", QStringLiteral("&Add to Configuration"),
                       QStringLiteral("Lists the selected modules, or all found modules that are "
                                      "not listed, on the Configuration page"));
    close_B = MakeButton(this, "close_B", QStringLiteral("&Close"), QString());

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(search_B);
    buttons->addWidget(add_B);
    buttons->addStretch(1);
    buttons->addWidget(close_B);
    auto *column = new QVBoxLayout(this);
    column->addWidget(summary_L);
    column->addWidget(found_G, 1);
    column->addLayout(buttons);

    connect(search_B, &QPushButton::clicked, this, &BusSearchWindow::search_BClick);
    connect(add_B, &QPushButton::clicked, this, &BusSearchWindow::add_BClick);
    connect(close_B, &QPushButton::clicked, this, &QDialog::reject);

    resize(700, 420);
}

void BusSearchWindow::search_BClick()
{
    if (m_hooks.busFree && !m_hooks.busFree()) {
        summary_L->setText(QStringLiteral("The bus is in use while metering runs or the VRX-RTD "
                                          "page polls; stop it to search."));
        return;
    }
    found_G->setRowCount(0);
    summary_L->setText(QStringLiteral("Searching addresses 1 to %1...").arg(kModuleCount));
    // The bus work that follows keeps the thread; draw the window first.
    repaint();
    BusSearchResult result;
    {
        const auto box = TMessageBoxF::CreateCancellableProgressBox(
            this, QStringLiteral("Searching the Bus"), kModuleCount);
        TMessageBoxF *progress = box.get();
        const auto cancelled = [progress] { return progress->Cancelled(); };
        // The box's Cancel is taken before every attempt, and an attempt
        // that would follow it is not made.
        const Protocol protocol(&TMessageBoxF::ProcessWindowEventsAndInput, cancelled);
        BusSearchHooks hooks;
        hooks.progress = [progress](int address) { TMessageBoxF::SetProgress(progress, address); };
        hooks.found = [this](const FoundModule &module) { AddRow(module); };
        hooks.cancelled = cancelled;
        result = SearchBus(
            m_table.bus_target,
            [&protocol](const BusTarget &target, int first, int count, uint16_t *values) {
                return protocol.Read(target, first, count, values);
            },
            hooks);
    }
    ShowSummary(result);
    // The box had the keyboard; the window takes it back for its commands.
    activateWindow();
    found_G->setFocus();
    emit searched();
}

void BusSearchWindow::AddRow(const FoundModule &module)
{
    const int row = found_G->rowCount();
    found_G->setRowCount(row + 1);
    const QStringList texts{QString::number(module.address), module.info.device_type,
                            module.info.firmware, module.info.frequency,
                            ConfigurationMarkText(ConfigurationMarkOf(m_table, module.address))};
    for (int c = 0; c < kColumnCount; ++c) {
        auto *item = new QTableWidgetItem(texts[c]);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        if (c == kAddressCol) {
            item->setData(kAddressRole, module.address);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        found_G->setItem(row, c, item);
    }
    // The view lays out new rows on a timer, and no timer fires while the
    // search keeps the thread; scrolling to the row lays them out at once,
    // so each module shows as it is found.
    found_G->scrollToItem(found_G->item(row, kAddressCol));
}

void BusSearchWindow::ShowSummary(const BusSearchResult &result)
{
    const qsizetype n = result.modules.size();
    if (!result.cancelled) {
        summary_L->setText(
            n == 0 ? QStringLiteral("No module answered at addresses 1 to %1.").arg(kModuleCount)
                   : QStringLiteral("%1 answered at addresses 1 to %2.")
                         .arg(ModulesText(n))
                         .arg(kModuleCount));
        return;
    }
    if (result.last_address == 0) {
        summary_L->setText(QStringLiteral("Search cancelled before the first address."));
        return;
    }
    summary_L->setText(QStringLiteral("Search cancelled at address %1: %2 found so far.")
                           .arg(result.last_address)
                           .arg(ModulesText(n)));
}

QList<int> BusSearchWindow::FoundAddresses() const
{
    QList<int> addresses;
    for (int row = 0; row < found_G->rowCount(); ++row)
        addresses << found_G->item(row, kAddressCol)->data(kAddressRole).toInt();
    return addresses;
}

QList<int> BusSearchWindow::AddressesToAdd() const
{
    QList<int> rows;
    for (const QModelIndex &index : found_G->selectionModel()->selectedRows())
        rows << index.row();
    if (rows.isEmpty()) {
        for (int row = 0; row < found_G->rowCount(); ++row)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    QList<int> addresses;
    for (const int row : rows) {
        const int m = found_G->item(row, kAddressCol)->data(kAddressRole).toInt();
        if (ConfigurationMarkOf(m_table, m) == ConfigurationMark::NotListed)
            addresses << m;
    }
    return addresses;
}

void BusSearchWindow::add_BClick()
{
    const QList<int> addresses = AddressesToAdd();
    if (addresses.isEmpty()) {
        summary_L->setText(
            QStringLiteral("The modules are listed on the Configuration page already."));
        return;
    }
    if (m_hooks.addModules)
        m_hooks.addModules(addresses);
    ShowConfigurationMarks();
    QList<int> added;
    for (const int m : addresses) {
        if (ConfigurationMarkOf(m_table, m) != ConfigurationMark::NotListed)
            added << m;
    }
    summary_L->setText(
        added.isEmpty()
            ? QStringLiteral("The configuration cannot be changed while metering runs.")
            : QStringLiteral("Listed on the Configuration page: %1.").arg(ModuleListText(added)));
}

void BusSearchWindow::ShowConfigurationMarks()
{
    for (int row = 0; row < found_G->rowCount(); ++row) {
        const int m = found_G->item(row, kAddressCol)->data(kAddressRole).toInt();
        found_G->item(row, kConfigurationCol)
            ->setText(ConfigurationMarkText(ConfigurationMarkOf(m_table, m)));
    }
}

void BusSearchWindow::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // The configuration may have changed on its page meanwhile.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        ShowConfigurationMarks();
}
