#include "app/tmainf.h"
#include "app/trafficwindow.h"

#include "support/filesizecap.h"
#include "support/windowenvironment.h"

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// The traffic window on an exchange log the test fills: batches of rows,
// pause and resume, filters, copy, save, keys, and the menu item that
// opens it.
class TestTrafficWindow : public QObject
{
    Q_OBJECT

private slots:
    void refreshTakesOneBatchAndTrimsTheOldest();
    void pauseHoldsTheListAndResumeCatchesUp();
    void ringOvertakingAPausedWindowSaysSo();
    void filtersByAddressAndFailures();
    void copyPutsTheSelectedRowsOnTheClipboard();
    void savesWhatTheFilterShows();
    void failedSaveIsReportedInABox();
    void readsTheLogOnlyWhileShown();
    void escapeCloses();
    void opensNoWiderThanItsScreen();
    void tableIsReadByAssistiveTechnology();
    void menuItemOpensOneWindowOnTheBusLog();
    void keysInTheTrafficWindowAreItsOwn();
};

namespace {

// Records at addresses 1, 2, 3, 1, ...; every fourth one unanswered.
void Fill(ExchangeLog &log, int count)
{
    for (int i = 0; i < count; ++i) {
        ExchangeRecord r;
        r.address = uint8_t(1 + i % 3);
        r.function = 3;
        r.first_register = 16;
        r.count = 8;
        r.outcome = i % 4 == 3 ? ExchangeOutcome::NoAnswer : ExchangeOutcome::Answered;
        r.duration_us = 1000 * (i % 60);
        log.Append(r);
    }
}

std::unique_ptr<TrafficWindow> Window(const ExchangeLog &log, size_t maxRows = 10000)
{
    return std::make_unique<TrafficWindow>(log, nullptr, nullptr, maxRows);
}

QList<int> Addresses(const TrafficModel &model)
{
    QList<int> a;
    for (const ExchangeRecord &r : model.feed().rows())
        a.append(r.address);
    return a;
}

} // namespace

void TestTrafficWindow::refreshTakesOneBatchAndTrimsTheOldest()
{
    ExchangeLog log;
    const auto w = Window(log, 100);
    QSignalSpy inserted(w->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(w->model(), &QAbstractItemModel::rowsRemoved);
    Fill(log, 30);
    w->RefreshTimerTimer();
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 29);
    QCOMPARE(removed.size(), 0);

    // 30 + 90 is over the bound of 100: the oldest 20 go in one step, the
    // 90 come in one step after the 10 left.
    Fill(log, 90);
    w->RefreshTimerTimer();
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 0);
    QCOMPARE(removed.at(0).at(2).toInt(), 19);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 10);
    QCOMPARE(inserted.at(1).at(2).toInt(), 99);
    QCOMPARE(w->model()->feed().rows().front().sequence, uint64_t(21));
    QCOMPARE(w->model()->rowCount(), 100);
}

void TestTrafficWindow::pauseHoldsTheListAndResumeCatchesUp()
{
    ExchangeLog log;
    const auto w = Window(log);
    Fill(log, 10);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->Refresh_Timer->stop(); // the test takes the ticks itself
    QTest::keyClick(w->Traffic_Grid, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(w->pause_B->isChecked());
    QCOMPARE(w->pause_B->text(), QStringLiteral("&Resume"));
    Fill(log, 25);
    w->RefreshTimerTimer();
    QCOMPARE(w->model()->rowCount(), 10);
    QCOMPARE(w->status_L->text(), QStringLiteral("Paused. 10 exchanges shown"));

    QTest::keyClick(w->Traffic_Grid, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(!w->pause_B->isChecked());
    QCOMPARE(w->model()->rowCount(), 35);
    QCOMPARE(w->model()->feed().rows().back().sequence, uint64_t(35));
    QCOMPARE(w->status_L->text(), QStringLiteral("35 exchanges shown"));
}

void TestTrafficWindow::ringOvertakingAPausedWindowSaysSo()
{
    ExchangeLog log;
    const auto w = Window(log, 1000);
    Fill(log, 5);
    w->RefreshTimerTimer();
    w->pause_B->click();
    Fill(log, ExchangeLog::kCapacity + 300);
    w->pause_B->click();
    QCOMPARE(w->status_L->text(),
             QStringLiteral("1000 exchanges shown (the newest); 300 exchanges not shown"));
    QCOMPARE(w->model()->feed().rows().back().sequence, log.LastSequence());
}

void TestTrafficWindow::filtersByAddressAndFailures()
{
    ExchangeLog log;
    const auto w = Window(log);
    Fill(log, 12);
    w->RefreshTimerTimer();
    w->address_CB->setCurrentIndex(w->address_CB->findData(2));
    QCOMPARE(Addresses(*w->model()), (QList<int>{2, 2, 2, 2}));
    w->failures_CB->setChecked(true);
    QCOMPARE(w->model()->feed().rows().size(), size_t(1));
    QCOMPARE(w->model()->feed().rows().front().sequence, uint64_t(8));
    // New records pass the same filter.
    Fill(log, 12);
    w->RefreshTimerTimer();
    QCOMPARE(w->model()->feed().rows().back().sequence, uint64_t(20));
    w->address_CB->setCurrentIndex(0); // All
    QCOMPARE(w->model()->rowCount(), 6);
}

void TestTrafficWindow::copyPutsTheSelectedRowsOnTheClipboard()
{
    ExchangeLog log;
    const auto w = Window(log);
    Fill(log, 6);
    w->RefreshTimerTimer();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    auto *selection = w->Traffic_Grid->selectionModel();
    selection->select(w->model()->index(3, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(w->model()->index(1, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QApplication::clipboard()->clear();
    // Ctrl+C with the table focused: the rows, not the table's own copy of
    // the current cell.
    w->Traffic_Grid->setFocus();
    QTest::keyClick(w->Traffic_Grid, Qt::Key_C, Qt::ControlModifier);
    const QString expected = w->model()->RowTexts(1).join(QLatin1Char('\t')) + QLatin1Char('\n') +
                             w->model()->RowTexts(3).join(QLatin1Char('\t')) + QLatin1Char('\n');
    QCOMPARE(QApplication::clipboard()->text(), expected);
    QVERIFY(expected.contains(QStringLiteral("\t3 read\t16-23 (8)\t")));
}

void TestTrafficWindow::savesWhatTheFilterShows()
{
    ExchangeLog log;
    const auto w = Window(log);
    Fill(log, 12);
    w->RefreshTimerTimer();
    w->failures_CB->setChecked(true);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.csv"));
    bool finished = false;
    w->SaveCsv(path, [&](const Result<> &r) {
        QVERIFY(r.ok());
        finished = true;
    });
    QTRY_VERIFY(finished);
    const QStringList lines = QString::fromUtf8(ReadFileBytes(path)).split(QStringLiteral("\r\n"));
    // Titles, the three failed attempts, and the end of the last line.
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], TrafficCsv({}).chopped(2));
    for (int i = 1; i <= 3; ++i)
        QVERIFY2(lines[i].contains(QStringLiteral(",no answer,")), qPrintable(lines[i]));
    QVERIFY(lines[4].isEmpty());
    QVERIFY(w->save_B->isEnabled());
}

void TestTrafficWindow::failedSaveIsReportedInABox()
{
    ExchangeLog log;
    const auto w = Window(log);
    Fill(log, 3);
    w->RefreshTimerTimer();
    w->show();
    QTemporaryDir dir;
    const QString notAFolder = dir.filePath(QStringLiteral("plain"));
    QVERIFY(WriteFileBytes(notAFolder, "x"));
    const QString path = notAFolder + QStringLiteral("/traffic.csv");
    bool finished = false;
    w->SaveCsv(path, [&](const Result<> &r) {
        QVERIFY(!r.ok());
        finished = true;
    });
    QTRY_VERIFY(finished);
    auto *box = w->findChild<QMessageBox *>(QStringLiteral("TrafficSaveFailedBox"));
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("The bus traffic was not saved."));
    QVERIFY2(box->informativeText().startsWith(path + QStringLiteral(" cannot be written: ")),
             qPrintable(box->informativeText()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("plain")});
    box->close();
}

void TestTrafficWindow::readsTheLogOnlyWhileShown()
{
    ExchangeLog log;
    const auto w = Window(log);
    QVERIFY(!w->Refresh_Timer->isActive());
    w->show();
    QVERIFY(w->Refresh_Timer->isActive());
    QCOMPARE(w->Refresh_Timer->interval(), 200);
    // Records made while shown come on the timer's next tick.
    Fill(log, 4);
    QTRY_COMPARE(w->model()->rowCount(), 4);
    w->hide();
    QVERIFY(!w->Refresh_Timer->isActive());
    // Shown again, it catches up at once.
    Fill(log, 3);
    w->show();
    QCOMPARE(w->model()->rowCount(), 7);
}

void TestTrafficWindow::escapeCloses()
{
    ExchangeLog log;
    const auto w = Window(log);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTest::keyClick(w->Traffic_Grid, Qt::Key_Escape);
    QVERIFY(!w->isVisible());
}

// It opened 1200 wide whatever the screen, so on a 1024-wide one its
// buttons and last columns lay off the screen.
void TestTrafficWindow::opensNoWiderThanItsScreen()
{
    ExchangeLog log;
    const auto w = Window(log);
    const QRect available = w->screen()->availableGeometry();
    QVERIFY(available.width() < 1200); // the offscreen screen is 800 wide
    QVERIFY(w->width() <= available.width());
    QVERIFY(w->height() <= available.height());
}

void TestTrafficWindow::tableIsReadByAssistiveTechnology()
{
    ExchangeLog log;
    const auto w = Window(log);
    Fill(log, 4);
    w->RefreshTimerTimer();
    w->show();
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(w->Traffic_Grid);
    QVERIFY(table && table->tableInterface());
    QCOMPARE(table->tableInterface()->rowCount(), 4);
    QAccessibleInterface *cell = table->tableInterface()->cellAt(3, kTrafficOutcome);
    QVERIFY(cell);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("no answer"));
    QVERIFY(cell->tableCellInterface());
    const QList<QAccessibleInterface *> titles = cell->tableCellInterface()->columnHeaderCells();
    QCOMPARE(titles.size(), 1);
    QCOMPARE(titles.front()->text(QAccessible::Name), QStringLiteral("Outcome"));
}

void TestTrafficWindow::menuItemOpensOneWindowOnTheBusLog()
{
    const WindowEnvironment env;
    TMainF w;
    QCOMPARE(w.BusTraffic1->shortcut(), QKeySequence(Qt::Key_F7));
    QVERIFY(w.DiagnosticsMenu->actions().contains(w.BusTraffic1));
    Fill(w.bus_log, 5);
    w.BusTraffic1->trigger();
    QPointer<TrafficWindow> traffic = w.Traffic_Window;
    QVERIFY(traffic);
    QVERIFY(traffic->isVisible());
    QCOMPARE(traffic->model()->rowCount(), 5);
    // A second trigger raises the same window.
    w.BusTraffic1->trigger();
    QCOMPARE(w.findChildren<TrafficWindow *>().size(), 1);
    // Closed, it is gone: no timer is left to read the log.
    traffic->close();
    QTRY_VERIFY(!traffic);
}

void TestTrafficWindow::keysInTheTrafficWindowAreItsOwn()
{
    // Ctrl+S is also Save Configuration in the main window: in the traffic
    // window it saves the traffic, and the configuration is not asked for.
    const WindowEnvironment env;
    TMainF w;
    bool configurationAsked = false;
    w.ChooseConfigFile = [&](bool, const QString &) {
        configurationAsked = true;
        return QString();
    };
    w.show();
    w.BusTraffic1Click();
    TrafficWindow *traffic = w.Traffic_Window;
    QApplication::setActiveWindow(traffic);
    QVERIFY(QTest::qWaitForWindowActive(traffic));
    QTest::keyClick(traffic->Traffic_Grid, Qt::Key_S, Qt::ControlModifier);
    auto *dialog = traffic->findChild<QFileDialog *>(QStringLiteral("TrafficSaveDialog"));
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!configurationAsked);
    dialog->reject();
}

QTEST_MAIN(TestTrafficWindow)
#include "tst_trafficwindow.moc"
