#include "app/trafficwindow.h"

#include "modules/moduletable.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>

TrafficModel::TrafficModel(const ExchangeLog &log, size_t maxRows, QObject *parent)
    : QAbstractTableModel(parent), m_log(log), m_feed(maxRows)
{}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_feed.rows().size());
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kTrafficColumnCount;
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_feed.rows().size())
        return {};
    const ExchangeRecord &record = m_feed.rows()[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return TrafficCell(record, index.column(), m_log, m_decoding);
    case Qt::ToolTipRole:
        // The long texts whole, where the column cuts them short.
        if (index.column() == kTrafficRequest || index.column() == kTrafficReply ||
            index.column() == kTrafficDecoded || index.column() == kTrafficOutcome)
            return TrafficCell(record, index.column(), m_log, m_decoding);
        return {};
    case Qt::FontRole:
        if (index.column() == kTrafficRequest || index.column() == kTrafficReply)
            return m_fixedFont;
        return {};
    case Qt::ForegroundRole:
        // A failed attempt's outcome in dark red, the rest as the view has it.
        if (index.column() == kTrafficOutcome && record.outcome != ExchangeOutcome::Answered)
            return QColor(0x99, 0, 0);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == kTrafficAddress || index.column() == kTrafficDuration)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return TrafficHeader(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

size_t TrafficModel::Refresh()
{
    std::vector<ExchangeRecord> fresh = m_feed.Collect(m_log);
    if (fresh.empty())
        return 0;
    const size_t trim = m_feed.TrimCountFor(fresh.size());
    if (trim > 0) {
        beginRemoveRows({}, 0, int(trim) - 1);
        m_feed.DropOldest(trim);
        endRemoveRows();
    }
    const int first = rowCount();
    const size_t count = fresh.size();
    beginInsertRows({}, first, first + int(count) - 1);
    m_feed.Append(std::move(fresh));
    endInsertRows();
    return count;
}

void TrafficModel::SetFilter(const TrafficFilter &filter)
{
    beginResetModel();
    m_feed.SetFilter(m_log, filter);
    endResetModel();
}

QStringList TrafficModel::RowTexts(int row) const
{
    if (row < 0 || size_t(row) >= m_feed.rows().size())
        return {};
    return TrafficRowTexts(m_feed.rows()[size_t(row)], m_log, m_decoding);
}

namespace {

QPushButton *addButton(QBoxLayout *row, const QString &name, const QString &caption,
                       const QKeySequence &key, QWidget *window)
{
    auto *button = new QPushButton(caption, window);
    button->setObjectName(name);
    button->setToolTip(QStringLiteral("%1 (%2)").arg(QString(caption).remove(QLatin1Char('&')),
                                                     key.toString(QKeySequence::NativeText)));
    row->addWidget(button);
    // The key works anywhere in the window, the table included.
    auto *shortcut = new QShortcut(key, window);
    QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    return button;
}

} // namespace

TrafficWindow::TrafficWindow(const ExchangeLog &log, std::function<TrafficDecoding()> decoding,
                             QWidget *parent, size_t maxRows)
    : QWidget(parent, Qt::Window), m_decoding(std::move(decoding))
{
    setObjectName(QStringLiteral("TrafficWindow"));
    setWindowTitle(QStringLiteral("Bus Traffic"));
    m_model = new TrafficModel(log, maxRows, this);

    auto *column = new QVBoxLayout(this);
    auto *controls = new QHBoxLayout;
    column->addLayout(controls);

    auto *address_L = new QLabel(QStringLiteral("&Address:"), this);
    address_CB = new QComboBox(this);
    address_CB->setObjectName(QStringLiteral("address_CB"));
    address_CB->addItem(QStringLiteral("All"), 0);
    for (int m = 1; m <= kModuleCount; ++m)
        address_CB->addItem(QString::number(m), m);
    address_L->setBuddy(address_CB);
    controls->addWidget(address_L);
    controls->addWidget(address_CB);

    failures_CB = new QCheckBox(QStringLiteral("&Failures only"), this);
    failures_CB->setObjectName(QStringLiteral("failures_CB"));
    controls->addWidget(failures_CB);
    controls->addStretch(1);

    pause_B = addButton(controls, QStringLiteral("pause_B"), QStringLiteral("&Pause"),
                        QKeySequence(Qt::CTRL | Qt::Key_P), this);
    pause_B->setCheckable(true);
    copy_B = addButton(controls, QStringLiteral("copy_B"), QStringLiteral("&Copy"),
                       QKeySequence::Copy, this);
    save_B = addButton(controls, QStringLiteral("save_B"), QStringLiteral("&Save as CSV..."),
                       QKeySequence::Save, this);

    Traffic_Grid = new QTableView(this);
    Traffic_Grid->setObjectName(QStringLiteral("Traffic_Grid"));
    Traffic_Grid->setAccessibleName(QStringLiteral("Bus traffic"));
    Traffic_Grid->setModel(m_model);
    Traffic_Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Traffic_Grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Traffic_Grid->setWordWrap(false);
    Traffic_Grid->setTextElideMode(Qt::ElideRight);
    Traffic_Grid->setAlternatingRowColors(true);
    Traffic_Grid->setTabKeyNavigation(false);
    // Rows of one height and columns sized once: nothing is measured when
    // rows come, which keeps a refresh of thousands of rows cheap.
    Traffic_Grid->verticalHeader()->hide();
    Traffic_Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Traffic_Grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView *header = Traffic_Grid->horizontalHeader();
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int hexByte = fixed.horizontalAdvance(QStringLiteral("00 "));
    // Room for a relay poll (13 bytes) and a metering read's reply (21 bytes);
    // a longer frame is cut short with an ellipsis and shown whole in its
    // tip. The decoded values take what is left.
    const int widths[kTrafficColumnCount] = {13 * digit,        7 * digit,         12 * digit,
                                             10 * digit,        26 * digit,        11 * digit,
                                             13 * hexByte + 12, 21 * hexByte + 12, 75 * digit};
    for (int c = 0; c < kTrafficColumnCount; ++c)
        header->resizeSection(c, std::max(widths[c], header->sectionSizeHint(c)));
    header->setStretchLastSection(true);
    column->addWidget(Traffic_Grid, 1);

    status_L = new QLabel(this);
    status_L->setObjectName(QStringLiteral("status_L"));
    column->addWidget(status_L);

    Refresh_Timer = new QTimer(this);
    Refresh_Timer->setObjectName(QStringLiteral("Refresh_Timer"));
    Refresh_Timer->setInterval(kRefreshMs);
    connect(Refresh_Timer, &QTimer::timeout, this, &TrafficWindow::RefreshTimerTimer);

    connect(address_CB, &QComboBox::currentIndexChanged, this, &TrafficWindow::FilterChange);
    connect(failures_CB, &QCheckBox::toggled, this, &TrafficWindow::FilterChange);
    connect(pause_B, &QPushButton::toggled, this, &TrafficWindow::pause_BClick);
    connect(copy_B, &QPushButton::clicked, this, &TrafficWindow::copy_BClick);
    connect(save_B, &QPushButton::clicked, this, &TrafficWindow::save_BClick);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    // Wide enough for the bytes of a metering read; never wider than the
    // screen it opens on, where the columns scroll instead.
    const QRect available = screen()->availableGeometry();
    resize(std::min(1200, available.width() - 40), std::min(520, available.height() - 80));
    m_lastFolder = QDir::homePath();
    RefreshTimerTimer();
}

void TrafficWindow::RefreshTimerTimer()
{
    if (pause_B->isChecked())
        return;
    if (m_decoding)
        m_model->SetDecoding(m_decoding());
    // Follow the newest row only when the user has not scrolled away from it.
    const bool follow = atBottom();
    if (m_model->Refresh() > 0 && follow)
        Traffic_Grid->scrollToBottom();
    showStatus();
}

void TrafficWindow::pause_BClick(bool paused)
{
    pause_B->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    if (!paused)
        RefreshTimerTimer();
    showStatus();
}

void TrafficWindow::FilterChange()
{
    m_model->SetFilter(TrafficFilter{address_CB->currentData().toInt(), failures_CB->isChecked()});
    Traffic_Grid->scrollToBottom();
    showStatus();
}

void TrafficWindow::copy_BClick()
{
    QModelIndexList chosen = Traffic_Grid->selectionModel()->selectedRows();
    std::sort(chosen.begin(), chosen.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    std::vector<QStringList> rows;
    rows.reserve(size_t(chosen.size()));
    for (const QModelIndex &index : chosen)
        rows.push_back(m_model->RowTexts(index.row()));
    if (!rows.empty())
        QGuiApplication::clipboard()->setText(TrafficTabText(rows));
}

void TrafficWindow::save_BClick()
{
    auto *dialog = new QFileDialog(this, QStringLiteral("Save Bus Traffic"), m_lastFolder,
                                   QStringLiteral("CSV File (*.csv *.CSV)"));
    dialog->setObjectName(QStringLiteral("TrafficSaveDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->selectFile(QStringLiteral("traffic.csv"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        m_lastFolder = QFileInfo(path).absolutePath();
        SaveCsv(path);
    });
    dialog->open();
}

void TrafficWindow::SaveCsv(const QString &path, std::function<void(const Result<> &)> done)
{
    // The text is made here, from the rows as they are now; only the file
    // work, which may wait on a slow disk, leaves the window's thread.
    std::vector<QStringList> rows;
    rows.reserve(m_model->feed().rows().size());
    for (int row = 0; row < m_model->rowCount(); ++row)
        rows.push_back(m_model->RowTexts(row));
    auto text = std::make_shared<QString>(TrafficCsv(rows));
    auto result = std::make_shared<Result<>>();
    QThread *worker =
        QThread::create([path, text, result] { *result = SaveTrafficText(path, *text); });
    save_B->setEnabled(false);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, [this, result, done = std::move(done)] {
        save_B->setEnabled(true);
        if (!result->ok()) {
            auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Save as CSV"),
                                        QStringLiteral("The bus traffic was not saved."),
                                        QMessageBox::Ok, this);
            box->setObjectName(QStringLiteral("TrafficSaveFailedBox"));
            box->setInformativeText(result->error());
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        }
        if (done)
            done(*result);
    });
    worker->start();
}

void TrafficWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    RefreshTimerTimer();
    Refresh_Timer->start();
}

void TrafficWindow::hideEvent(QHideEvent *event)
{
    Refresh_Timer->stop();
    QWidget::hideEvent(event);
}

void TrafficWindow::showStatus()
{
    const TrafficFeed &feed = m_model->feed();
    status_L->setText(
        TrafficStatusText(feed.rows().size(), feed.maxRows(), feed.missed(), pause_B->isChecked()));
}

bool TrafficWindow::atBottom() const
{
    const QScrollBar *bar = Traffic_Grid->verticalScrollBar();
    return bar->value() >= bar->maximum();
}
