#include "metering/busstatuswindow.h"

#include "metering/busstatus.h"
#include "modules/moduletable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QStringList kColumns = {QStringLiteral("Address"),
                              QStringLiteral("Module"),
                              QStringLiteral("State"),
                              QStringLiteral("Answered"),
                              QStringLiteral("Failed"),
                              QStringLiteral("Last outcome"),
                              QStringLiteral("Last failure"),
                              QStringLiteral("Round trip"),
                              QStringLiteral("Configuration sent"),
                              QStringLiteral("Notch command")};

// Sets a cell's text, making its item the first time; an unchanged text
// leaves the cell alone, so that a refresh repaints only what changed.
void SetCellText(QTableWidget *table, int row, int col, const QString &text)
{
    QTableWidgetItem *item = table->item(row, col);
    if (!item) {
        item = new QTableWidgetItem(text);
        // The address and the two counts are numbers.
        if (col == 0 || col == 3 || col == 4)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, col, item);
    } else if (item->text() != text) {
        item->setText(text);
    }
}

} // namespace

BusStatusWindow::BusStatusWindow(const BusStatus &status, const ModuleTable &table, QWidget *parent,
                                 std::function<QString()> portText)
    : QWidget(parent, Qt::Window), m_status(status), m_table(table), m_portText(std::move(portText))
{
    setObjectName(QStringLiteral("BusStatus_F"));
    setWindowTitle(QStringLiteral("Bus Status"));

    Port_L = new QLabel(this);
    Port_L->setObjectName(QStringLiteral("Port_L"));
    Port_L->setWordWrap(true);
    Port_L->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Port_L->setVisible(bool(m_portText));

    Status_Table = new QTableWidget(0, int(kColumns.size()), this);
    Status_Table->setObjectName(QStringLiteral("Status_Table"));
    Status_Table->setHorizontalHeaderLabels(kColumns);
    Status_Table->setAccessibleName(QStringLiteral("Bus status of the configured modules"));
    Status_Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Status_Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Status_Table->setTabKeyNavigation(false);
    Status_Table->verticalHeader()->hide();
    Status_Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    Close_B = new QPushButton(QStringLiteral("&Close"), this);
    Close_B->setObjectName(QStringLiteral("Close_B"));
    connect(Close_B, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Close_B);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Port_L);
    layout->addWidget(Status_Table);
    layout->addLayout(buttons);

    Refresh_Timer = new QTimer(this);
    Refresh_Timer->setObjectName(QStringLiteral("Refresh_Timer"));
    Refresh_Timer->setInterval(kRefreshMs);
    connect(Refresh_Timer, &QTimer::timeout, this, &BusStatusWindow::Refresh);

    resize(1000, 400);
}

void BusStatusWindow::Refresh()
{
    if (m_portText)
        Port_L->setText(m_portText());
    const QList<int> modules = BusStatus::ConfiguredModules(m_table);
    Status_Table->setRowCount(int(modules.size()));
    for (int row = 0; row < modules.size(); ++row) {
        const int m = modules[row];
        const ModuleBusStatus &module = m_status.Module(m);
        const QStringList texts = {
            QString::number(m),
            QStringLiteral("Module %1").arg(m),
            BusStatus::StateText(module.state),
            QString::number(module.reads_answered),
            QString::number(module.reads_failed),
            m_status.Outcome(module.last_read),
            BusStatus::TimeText(module.last_failure ? module.last_failure->time_us : 0),
            BusStatus::RoundTripText(module.last_round_trip_us),
            m_status.Outcome(module.last_send),
            m_status.Outcome(module.last_notch),
        };
        for (int col = 0; col < texts.size(); ++col)
            SetCellText(Status_Table, row, col, texts[col]);
    }
}

void BusStatusWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Refresh();
    Refresh_Timer->start();
}

void BusStatusWindow::hideEvent(QHideEvent *event)
{
    Refresh_Timer->stop();
    QWidget::hideEvent(event);
}
