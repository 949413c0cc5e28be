// The main window metering a simulated bus through a pseudo-terminal: the
// bus exchanges are real, the ticks are driven one by one from here. Modules
// fail in the ways a real bus fails (silent, garbage, a lost configuration,
// the whole line pulled out and plugged in again) while the datalog is on,
// and metering goes on through all of it.

#include "app/tmainf.h"
#include "config/configpage.h"
#include "config/tmessageboxf.h"
#include "metering/busstatuswindow.h"
#include "metering/tmetering_f.h"
#include "sim/bussimulator.h"
#include "support/modal.h"
#include "support/ser2net.h"
#include "support/windowenvironment.h"
#include "widgets/stateimages.h"
#include "widgets/statuspanel.h"
#include "widgets/stringgrid.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

class tst_MeteringOnSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void allModulesReadEveryPeriod();
    void replyFaultShowsDashesWithoutResend_data();
    void replyFaultShowsDashesWithoutResend();
    void lostConfigurationIsSentAgainMidPeriod();
    void lineVanishesAndComesBack();
    void lateModuleIsReadOnTheRetry();
    void lineVanishesDuringAnExchange();
    void stopClosesThePort();
    void stopAndStartBeginAtTickZeroWithOneSend();
    void busStatusFollowsWhatTheModuleDid_data();
    void busStatusFollowsWhatTheModuleDid();
    void throughADeviceServer_data();
    void throughADeviceServer();

private:
    // Builds the window on the simulator's line with the configuration file
    // below, datalogging into the work folder, and starts metering through
    // the START handler.
    void startMetering();
    // One tick, one second after the last on the datalog's clock.
    void tick();
    // Ticks until the period ends; the cycle must be at its start.
    void runPeriod();
    QStringList rowTexts(int module) const;
    QByteArray datalog() const;
    // The datalog rows of one module, split into their ten fields.
    QList<QStringList> logRows(int module) const;
    void verifyDatalogWhole() const;
    QList<SimRequest> writes() const;
    // Module m's node in the metering tree, and its picture.
    const QTreeWidgetItem *treeNode(int module) const;
    QImage treePicture(int module) const;

    std::unique_ptr<WindowEnvironment> m_env;
    std::unique_ptr<BusSimulator> m_sim;
    std::unique_ptr<TMainF> m_window;
    // The port the window meters through: the simulator's pty unless a test
    // puts a device server in front of it.
    QString m_portName;
    QDateTime m_now;
    std::shared_ptr<ModalSeen> m_modal;
    // Progress boxes over the window, and whether any modal widget was up
    // while one of them moved its bar.
    int m_progressBoxes = 0;
    bool m_modalDuringProgress = false;
    bool m_timerDuringProgress = false;
};

namespace {

// Period 6 (7 ticks a period) for three modules: 2 x 3 = 6, so it stays.
constexpr int kPeriod = 6;
const QList<int> kModules = {2, 5, 9};
// Input types 1..8 of each module: every input in use, every kind of sensor.
const QMap<int, QList<int>> kTypes = {
    {2, {1, 1, 1, 1, 1, 1, 1, 1}},
    {5, {1, 2, 3, 4, 5, 1, 2, 3}},
    {9, {5, 4, 3, 2, 1, 5, 4, 3}},
};

// The 550 bytes of a .cfg file, written out here rather than built by the
// program: header 0..5, the period, 63 blocks of 8 codes, trailer 0..5 and
// 33 bytes of filler.
QByteArray ConfigFileBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 6; ++i)
        bytes.append(char(i));
    bytes.append(char(kPeriod));
    for (int m = 1; m <= 63; ++m) {
        for (int k = 0; k < 8; ++k)
            bytes.append(char(kTypes.contains(m) ? kTypes[m][k] : 0));
    }
    for (int i = 0; i < 6; ++i)
        bytes.append(char(i));
    bytes.append(QByteArray(33, '\0'));
    return bytes;
}

bool IsNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^-?\\d+[.,]\\d$"));
    return number.match(text).hasMatch();
}

bool AllNumbers(const QStringList &texts)
{
    if (texts.size() != 8)
        return false;
    for (const QString &t : texts) {
        if (!IsNumber(t))
            return false;
    }
    return true;
}

const QStringList kDashes = QStringList(8, QStringLiteral("----"));

// Watches a window for the progress boxes put over it; the window owns it.
// Notes a box that is modal, and one that stands while the read timer runs:
// the resend must hold the timer off, so that its next tick comes a whole
// interval after the send instead of at once.
class ProgressWatch : public QObject
{
public:
    ProgressWatch(QWidget *window, const QTimer *timer, int &boxes, bool &modalSeen,
                  bool &timerSeen)
        : QObject(window), m_timer(timer), m_boxes(boxes), m_modalSeen(modalSeen),
          m_timerSeen(timerSeen)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::ChildPolished)
            return false;
        auto *box = qobject_cast<TMessageBoxF *>(static_cast<QChildEvent *>(event)->child());
        if (!box)
            return false;
        ++m_boxes;
        QObject::connect(box->ProgressBar1, &QProgressBar::valueChanged, this, [this, box] {
            if (box->isModal() || QApplication::activeModalWidget())
                m_modalSeen = true;
            if (m_timer->isActive())
                m_timerSeen = true;
        });
        return false;
    }

private:
    const QTimer *m_timer;
    int &m_boxes;
    bool &m_modalSeen;
    bool &m_timerSeen;
};

} // namespace

void tst_MeteringOnSim::init()
{
    m_env = std::make_unique<WindowEnvironment>();
    m_now = QDateTime(QDate(2024, 3, 14), QTime(10, 0, 0));
    m_progressBoxes = 0;
    m_modalDuringProgress = false;
    m_timerDuringProgress = false;

    m_sim = std::make_unique<BusSimulator>(m_env->path(QStringLiteral("ttyBUS")));
    for (int m : kModules)
        QVERIFY(m_sim->addModule(m)); // unconfigured: 20000 until START sends
    QVERIFY(m_sim->addModule(12));    // on the bus, not in the configuration
    const Result<> started = m_sim->start();
    QVERIFY2(started, qPrintable(started.error()));

    // Nothing here may wait on a modal box; should one come, it is answered
    // and the test fails.
    m_modal = std::make_shared<ModalSeen>();
    AnswerNextModal(m_modal, [](QWidget *box) { box->close(); });
}

void tst_MeteringOnSim::cleanup()
{
    m_portName.clear();
    QVERIFY2(!m_modal->seen, qPrintable(m_modal->caption + QLatin1Char(' ') + m_modal->text));
    QVERIFY(!m_modalDuringProgress);
    QVERIFY(!m_timerDuringProgress);
    m_window.reset();
    m_sim.reset();
    m_env.reset();
}

void tst_MeteringOnSim::startMetering()
{
    if (m_portName.isEmpty())
        m_portName = m_sim->linkPath();
    m_env->writeStore("Comport=" + m_portName.toUtf8() + "\n");
    const QString cfg = m_env->path(QStringLiteral("bus.cfg"));
    {
        QFile file(cfg);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(ConfigFileBytes()), qint64(550));
    }

    m_window = std::make_unique<TMainF>();
    TMainF &w = *m_window;
    QCOMPARE(w.m_comport.Port(), m_portName);
    // The test is the timer: the real one keeps running, but never ticks.
    QObject::disconnect(w.Read_Timer, &QTimer::timeout, &w, &TMainF::Read_TimerTimer);
    new ProgressWatch(&w, w.Read_Timer, m_progressBoxes, m_modalDuringProgress,
                      m_timerDuringProgress);
    w.Now = [this] { return m_now; };
    w.PrefInfo.Datalog = true;
    w.PrefInfo.DataFile = m_env->path(QStringLiteral("plant"));

    w.LoadConfigFile(cfg);
    w.Config_Page->RefreshConfigGrid();
    w.PrepareMetering();
    QCOMPARE(w.PrefInfo.Period, kPeriod);
    QCOMPARE(w.Metering_F1->Metering_Grid->RowCount(), 4);

    w.Metering_F1start_BClick();
    QVERIFY(w.table.metering_on);
    QVERIFY(w.Read_Timer->isActive());
    for (int m : kModules)
        QVERIFY(m_sim->moduleState(m)->configured);
}

void tst_MeteringOnSim::tick()
{
    m_now = m_now.addSecs(1);
    m_window->Read_TimerTimer();
}

void tst_MeteringOnSim::runPeriod()
{
    QCOMPARE(m_window->cycle.tick_count, 0);
    for (int t = 0; t <= kPeriod; ++t)
        tick();
    QCOMPARE(m_window->cycle.tick_count, 0);
    QCOMPARE(m_window->cycle.read_cursor, 0);
}

QStringList tst_MeteringOnSim::rowTexts(int module) const
{
    const StringGrid *grid = m_window->Metering_F1->Metering_Grid;
    for (int r = 1; r < grid->RowCount(); ++r) {
        if (grid->Cell(9, r) == QString::number(module)) {
            QStringList texts;
            for (int c = 1; c <= 8; ++c)
                texts << grid->Cell(c, r);
            return texts;
        }
    }
    return {};
}

QByteArray tst_MeteringOnSim::datalog() const
{
    QFile file(m_env->path(QStringLiteral("plant_0314.csv")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QList<QStringList> tst_MeteringOnSim::logRows(int module) const
{
    QList<QStringList> rows;
    const QList<QByteArray> lines = datalog().split('\n');
    for (const QByteArray &line : lines) {
        const QStringList fields =
            QString::fromLatin1(line.chopped(line.endsWith('\r') ? 1 : 0)).split(QLatin1Char('\t'));
        if (fields.size() == 10 && fields[1] == QStringLiteral("RTD Module %1").arg(module))
            rows.append(fields);
    }
    return rows;
}

// The file is the header and whole rows only: ten fields each, the time, the
// module, and eight readings right-aligned in six characters.
void tst_MeteringOnSim::verifyDatalogWhole() const
{
    const QByteArray text = datalog();
    QVERIFY(text.startsWith(
        "Time\tModule\tRTD 1\tRTD 2\tRTD 3\tRTD 4\tRTD 5\tRTD 6\tRTD 7\tRTD 8\r\n"));
    QVERIFY(text.endsWith("\r\n"));
    static const QRegularExpression row(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\tRTD Module (2|5|9)"
                       "(\\t {2}----|\\t +-?\\d+[.,]\\d|\\t {4}Op|\\t {4}Sh|\\t ERROR){8}$"));
    const QList<QByteArray> lines = text.chopped(1).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QVERIFY2(lines[i].endsWith('\r'), lines[i].constData());
        const QString line = QString::fromLatin1(lines[i].chopped(1));
        QVERIFY2(row.match(line).hasMatch(), qPrintable(line));
    }
}

QList<SimRequest> tst_MeteringOnSim::writes() const
{
    QList<SimRequest> found;
    for (const SimRequest &request : m_sim->requests()) {
        if (request.function == 16)
            found.append(request);
    }
    return found;
}

const QTreeWidgetItem *tst_MeteringOnSim::treeNode(int module) const
{
    const QTreeWidget *tree = m_window->Metering_F1->metering_T;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *node = tree->topLevelItem(i);
        if (node->data(0, Qt::UserRole).toInt() == module)
            return node;
    }
    return nullptr;
}

QImage tst_MeteringOnSim::treePicture(int module) const
{
    const QTreeWidgetItem *node = treeNode(module);
    return node ? node->icon(0).pixmap(16, 16).toImage() : QImage();
}

void tst_MeteringOnSim::allModulesReadEveryPeriod()
{
    startMetering();
    for (int period = 0; period < 2; ++period) {
        m_sim->clearRequests();
        runPeriod();
        for (int m : kModules)
            QVERIFY2(AllNumbers(rowTexts(m)), qPrintable(rowTexts(m).join(QLatin1Char(' '))));
        QList<int> read;
        for (const SimRequest &request : m_sim->requests())
            read.append(request.address);
        QCOMPARE(read, kModules); // once each, in address order; never 12
    }
    for (int m : kModules)
        QCOMPARE(logRows(m).size(), 2);
    verifyDatalogWhole();
}

void tst_MeteringOnSim::replyFaultShowsDashesWithoutResend_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::newRow("silent") << Fault::Silent;
    QTest::newRow("garbage") << Fault::Garbage;
    QTest::newRow("bad CRC") << Fault::BadCrc;
    QTest::newRow("exception") << Fault::Exception;
}

// A module that does not answer soundly reads "----" on every input, in the
// grid and in its datalog row; it asks for no resend, and the modules after
// it are read on their own ticks. Once it answers again, so do its readings.
void tst_MeteringOnSim::replyFaultShowsDashesWithoutResend()
{
    QFETCH(Fault, fault);
    startMetering();
    runPeriod();
    QVERIFY(AllNumbers(rowTexts(5)));

    QVERIFY(m_sim->setFault(5, fault));
    m_sim->clearRequests();
    runPeriod();
    QCOMPARE(rowTexts(5), kDashes);
    QVERIFY(AllNumbers(rowTexts(2)));
    QVERIFY(AllNumbers(rowTexts(9)));
    QVERIFY(writes().isEmpty());
    QSet<int> asked;
    for (const SimRequest &request : m_sim->requests())
        asked.insert(request.address);
    QCOMPARE(asked, (QSet<int>{2, 5, 9}));
    QCOMPARE(logRows(5).size(), 2);
    QCOMPARE(logRows(5).last().mid(2), QStringList(8, QStringLiteral("  ----")));

    m_sim->clearFaults(5);
    runPeriod();
    QVERIFY(AllNumbers(rowTexts(5)));
    QVERIFY(writes().isEmpty());
    verifyDatalogWhole();
}

// Module 5 forgets its input types between two reads: its read shows 20000
// on every input, so the tick sends the whole configuration again, under a
// progress box that holds nothing up, and the period goes on where it was.
void tst_MeteringOnSim::lostConfigurationIsSentAgainMidPeriod()
{
    startMetering();
    runPeriod();
    tick(); // module 2
    QCOMPARE(m_window->cycle.tick_count, 1);

    QVERIFY(m_sim->setFault(5, Fault::LostConfiguration));
    QVERIFY(!m_sim->moduleState(5)->configured);
    m_sim->clearRequests();
    const int boxesBefore = m_progressBoxes;
    tick(); // module 5, then the resend

    QCOMPARE(m_window->cycle.tick_count, 2);
    QCOMPARE(m_window->cycle.read_cursor, 5);
    QVERIFY(m_window->Read_Timer->isActive());
    QCOMPARE(m_progressBoxes, boxesBefore + 1);
    QVERIFY(m_window->findChildren<TMessageBoxF *>().isEmpty());
    QCOMPARE(rowTexts(5), kDashes);
    QCOMPARE(logRows(5).last().mid(2), QStringList(8, QStringLiteral("  ----")));

    const QList<SimRequest> sent = writes();
    QList<int> addresses;
    for (const SimRequest &w : sent)
        addresses.append(w.address);
    QCOMPARE(addresses, kModules);
    // Registers 0..3 of module 5: inputs 1 and 2 in the first, high byte
    // first (1,2 3,4 5,1 2,3).
    QCOMPARE(sent[1].first, 0);
    QCOMPARE(sent[1].values, (QList<quint16>{0x0102, 0x0304, 0x0501, 0x0203}));
    QVERIFY(m_sim->moduleState(5)->configured);
    QCOMPARE(m_sim->moduleState(5)->inputTypes, (SimInputTypes{1, 2, 3, 4, 5, 1, 2, 3}));

    tick(); // module 9
    QVERIFY(AllNumbers(rowTexts(9)));
    QCOMPARE(m_window->cycle.tick_count, 3);
    while (m_window->cycle.tick_count != 0)
        tick();
    m_sim->clearRequests();
    runPeriod();
    QVERIFY(AllNumbers(rowTexts(5)));
    QVERIFY(writes().isEmpty());
    verifyDatalogWhole();
}

// The adapter is pulled out and plugged in again: while the line is gone
// every read shows "----" and asks for nothing; once it is back under the
// same path the next period reads numbers again, without a restart.
void tst_MeteringOnSim::lineVanishesAndComesBack()
{
    startMetering();
    runPeriod();
    const qsizetype rowsBefore = logRows(2).size();

    QVERIFY(m_sim->vanish());
    QVERIFY(!QFile::exists(m_sim->linkPath()));
    for (int period = 0; period < 2; ++period) {
        runPeriod();
        for (int m : kModules)
            QCOMPARE(rowTexts(m), kDashes);
    }
    QVERIFY(m_window->table.metering_on);
    QVERIFY(!m_window->m_comport.Connected());
    QCOMPARE(logRows(2).size(), rowsBefore + 2);
    QCOMPARE(logRows(2).last().mid(2), QStringList(8, QStringLiteral("  ----")));

    QVERIFY(m_sim->reappear().ok());
    m_sim->clearRequests();
    runPeriod();
    for (int m : kModules)
        QVERIFY2(AllNumbers(rowTexts(m)), qPrintable(rowTexts(m).join(QLatin1Char(' '))));
    QVERIFY(writes().isEmpty()); // the modules kept their configuration
    QVERIFY(m_window->table.metering_on);
    verifyDatalogWhole();
}

// A module that answers every request 80 ms late, after the 50 ms window, is
// read on the retry: that attempt takes the answer to the first, which asked
// the same, and the answer to its own is waited out and dropped. Its
// readings are its own, and its late answers never reach the next module's
// read.
void tst_MeteringOnSim::lateModuleIsReadOnTheRetry()
{
    startMetering();
    runPeriod();
    QVERIFY(m_sim->setFault(5, Fault::Late));
    m_sim->clearRequests();
    runPeriod();
    for (int m : kModules)
        QVERIFY2(AllNumbers(rowTexts(m)), qPrintable(rowTexts(m).join(QLatin1Char(' '))));
    QList<int> asked;
    for (const SimRequest &request : m_sim->requests())
        asked.append(request.address);
    QCOMPARE(asked, (QList<int>{2, 5, 5, 9}));
    QVERIFY(writes().isEmpty());
    verifyDatalogWhole();
}

// The line goes while the program holds it open in the middle of a read (a
// late module keeps every exchange open for more than 100 ms) and comes back
// a moment later. Wherever the cut falls, the reads of that time fail
// cleanly (a row of dashes, never a row of anything else), and the period
// after reads numbers again.
void tst_MeteringOnSim::lineVanishesDuringAnExchange()
{
    startMetering();
    runPeriod();
    for (int round = 0; round < 6; ++round) {
        for (int m : kModules)
            QVERIFY(m_sim->setFault(m, Fault::Late));
        std::atomic<bool> done = false;
        std::thread puller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + 37 * round));
            m_sim->vanish();
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            done = m_sim->reappear().ok();
        });
        runPeriod();
        puller.join();
        QVERIFY(done);
        int failed = 0;
        for (int m : kModules) {
            if (rowTexts(m) == kDashes)
                ++failed;
            else
                QVERIFY2(AllNumbers(rowTexts(m)), qPrintable(rowTexts(m).join(QLatin1Char(' '))));
        }
        QVERIFY(failed > 0);

        m_sim->clearAllFaults();
        runPeriod();
        for (int m : kModules)
            QVERIFY2(AllNumbers(rowTexts(m)), qPrintable(rowTexts(m).join(QLatin1Char(' '))));
    }
    verifyDatalogWhole();
}

// STOP closes the bus port, even one left open, and lets the line go: another
// port object can take it at once.
void tst_MeteringOnSim::stopClosesThePort()
{
    startMetering();
    tick();
    m_window->m_comport.Open();
    QVERIFY(m_window->m_comport.Connected());

    m_window->Metering_F1stop_BClick();
    QVERIFY(!m_window->table.metering_on);
    QVERIFY(!m_window->Read_Timer->isActive());
    QVERIFY(!m_window->m_comport.Connected());
    TComPort other;
    other.SetPort(m_sim->linkPath());
    other.Open();
    QVERIFY(other.Connected());
    other.Close();
}

// STOP in the middle of a period, then START: the configuration goes out
// once, one write per module, before the first tick, and that tick is tick 0
// of a new period, reading the first module.
void tst_MeteringOnSim::stopAndStartBeginAtTickZeroWithOneSend()
{
    startMetering();
    runPeriod();
    tick();
    tick();
    tick();
    tick();
    QCOMPARE(m_window->cycle.tick_count, 4);
    m_window->Metering_F1stop_BClick();

    m_sim->clearRequests();
    m_window->Metering_F1start_BClick();
    QCOMPARE(m_window->cycle.tick_count, 0);
    QCOMPARE(m_window->cycle.read_cursor, 0);
    QList<int> sentTo;
    for (const SimRequest &request : m_sim->requests())
        sentTo.append(request.function == 16 ? request.address : -request.address);
    QCOMPARE(sentTo, kModules);

    m_sim->clearRequests();
    tick();
    const QList<SimRequest> first = m_sim->requests();
    QCOMPARE(first.size(), 1);
    QCOMPARE(first[0].address, 2);
    QCOMPARE(first[0].function, 3);
    QCOMPARE(first[0].first, 16);
    QCOMPARE(first[0].count, 8);
    QCOMPARE(m_window->cycle.tick_count, 1);
    QVERIFY(AllNumbers(rowTexts(2)));
    QVERIFY(writes().isEmpty());
}

void tst_MeteringOnSim::busStatusFollowsWhatTheModuleDid_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("answered"); // module 5's read still ends answered
    QTest::addColumn<int>("attempts");  // requests to module 5 in the period
    // The status's words for the read, and the simulator's for the request
    // that read ended on; an empty status text: any failure but "answered".
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("simSays");

    QTest::newRow("none") << Fault::None << true << 1 << "answered"
                          << "answered";
    // The retry takes the first request's answer, which came after the
    // 50 ms window: the read is answered, although the simulator answered
    // neither request in time and says so of both.
    QTest::newRow("late") << Fault::Late << true << 2 << "answered"
                          << "no answer";
    QTest::newRow("silent") << Fault::Silent << false << 2 << "no answer"
                            << "no answer";
    QTest::newRow("bad CRC") << Fault::BadCrc << false << 2 << "CRC error"
                             << "CRC error";
    QTest::newRow("exception") << Fault::Exception << false << 2
                               << "exception 4 (slave device failure)"
                               << "exception 4 (slave device failure)";
    QTest::newRow("wrong address") << Fault::WrongAddress << false << 2 << "answer from address 6"
                                   << "answer from address 6";
    QTest::newRow("cut-off") << Fault::CutOff << false << 2 << "incomplete reply (10 of 21 bytes)"
                             << "incomplete reply (10 of 21 bytes)";
    QTest::newRow("garbage") << Fault::Garbage << false << 2 << QString() << "garbage";
}

// The bus status of a module the simulator fails, gathered by the real bus
// layer from real exchanges: one read a period, counted once however many
// attempts it took, its last outcome in the words the simulator uses for
// what it did, and the crossed picture in the tree only once a whole period
// went by without an answer. The next answer brings the green dot back.
void tst_MeteringOnSim::busStatusFollowsWhatTheModuleDid()
{
    QFETCH(Fault, fault);
    QFETCH(bool, answered);
    QFETCH(int, attempts);
    QFETCH(QString, outcome);
    QFETCH(QString, simSays);
    const QImage green = StateIcon(kMarkOn).pixmap(16, 16).toImage();
    const QImage crossed = StateIcon(kStateNotAnswering).pixmap(16, 16).toImage();

    startMetering();
    const ModuleBusStatus &module = m_window->bus_status.Module(5);
    runPeriod();
    QCOMPARE(module.reads_answered, 1);
    QCOMPARE(BusStatus::StateText(module.state), QStringLiteral("answering"));

    if (fault != Fault::None)
        QVERIFY(m_sim->setFault(5, fault));
    m_sim->clearRequests();
    runPeriod();
    QList<SimAction> did;
    for (const SimAction &action : m_sim->actions()) {
        if (action.request.address == 5)
            did.append(action);
    }
    QCOMPARE(did.size(), attempts);
    QCOMPARE(did.last().fault, fault);
    QCOMPARE(did.last().outcome, simSays);

    QCOMPARE(module.reads_answered, answered ? 2 : 1);
    QCOMPARE(module.reads_failed, answered ? 0 : 1);
    QVERIFY(module.last_read);
    QCOMPARE(int(module.last_read->attempt), attempts);
    const QString said = m_window->bus_status.Outcome(module.last_read);
    if (outcome.isEmpty()) {
        QVERIFY(module.last_read->outcome != ExchangeOutcome::Answered);
        QVERIFY(!said.isEmpty());
    } else {
        QCOMPARE(said, outcome);
    }
    for (int m : {2, 9}) {
        QCOMPARE(m_window->bus_status.Module(m).reads_answered, 2);
        QCOMPARE(m_window->bus_status.Module(m).reads_failed, 0);
    }
    // Failed, but not yet for a whole period: the green dot stays.
    QCOMPARE(BusStatus::StateText(module.state),
             answered ? QStringLiteral("answering") : QStringLiteral("last read failed"));
    QCOMPARE(treePicture(5), green);

    tick(); // tick 0 ends the period
    QCOMPARE(BusStatus::StateText(module.state),
             answered ? QStringLiteral("answering") : QStringLiteral("not answering"));
    QCOMPARE(treePicture(5), answered ? green : crossed);
    QCOMPARE(treePicture(2), green);
    QVERIFY(treeNode(5));
    const QString hint = treeNode(5)->toolTip(0);
    if (answered) {
        QVERIFY2(hint.startsWith(QStringLiteral("Module 5: answering, 2 of 2 reads answered, "
                                                "last round trip ")),
                 qPrintable(hint));
    } else {
        const QString last =
            fault == Fault::Silent ? QString() : QStringLiteral(" (last: %1)").arg(said);
        QVERIFY2(hint.startsWith(QStringLiteral("Module 5: not answering for a whole period, "
                                                "no answer since ")),
                 qPrintable(hint));
        QVERIFY2(hint.endsWith(last + QStringLiteral(", 1 of 2 reads answered")), qPrintable(hint));
    }

    m_sim->clearFaults(5);
    while (m_window->cycle.tick_count != 0)
        tick();
    QCOMPARE(BusStatus::StateText(module.state), QStringLiteral("answering"));
    QCOMPARE(module.reads_answered + module.reads_failed, 3);
    QCOMPARE(treePicture(5), green);
}

void tst_MeteringOnSim::throughADeviceServer_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("RFC 2217") << true;
    QTest::newRow("raw TCP") << false;
}

// The bus behind ser2net: the configuration arrives, every reading comes
// through as it was sent, and a server that dies turns the rows to "----"
// and the Comport panel's tip to the reason, until it is back and the next
// ticks read again, without anyone touching the window.
void tst_MeteringOnSim::throughADeviceServer()
{
    QFETCH(bool, rfc2217);
    Ser2net server(m_sim->linkPath());
    const QString up = server.Start();
    QVERIFY2(up.isEmpty(), qPrintable(up));
    m_portName = rfc2217 ? server.Rfc2217Name() : server.RawName();
    // Module 2 reads Pt100 on every input; these are its readings in tenths.
    const QList<int> raw = {234, -32, 0, 1000, 1999, -500, 15, 777};
    for (int k = 0; k < 8; ++k)
        QVERIFY(m_sim->setReading(2, k + 1, quint16(raw[k])));

    startMetering();
    // One more hop may hand a reply over late on a loaded machine; a module
    // read as "----" is read again in the next period.
    const auto readAll = [this] {
        for (int period = 0; period < 3; ++period) {
            runPeriod();
            if (AllNumbers(rowTexts(2)) && AllNumbers(rowTexts(5)) && AllNumbers(rowTexts(9)))
                return;
        }
    };
    readAll();
    QCOMPARE(rowTexts(2),
             (QStringList{QStringLiteral("23.4"), QStringLiteral("-3.2"), QStringLiteral("0.0"),
                          QStringLiteral("100.0"), QStringLiteral("199.9"), QStringLiteral("-50.0"),
                          QStringLiteral("1.5"), QStringLiteral("77.7")}));
    for (int m : {5, 9})
        QVERIFY2(AllNumbers(rowTexts(m)), qPrintable(rowTexts(m).join(QLatin1Char(' '))));
    const QString tip = m_window->com_P->toolTip();
    QVERIFY2(tip.startsWith(QStringLiteral("Comport %1: connected; round trip").arg(m_portName)),
             qPrintable(tip));
    // Bus Status says the same above its table.
    m_window->BusStatus1Click();
    QCOMPARE(m_window->BusStatus_F->Port_L->text(), tip);
    m_window->BusStatus_F->close();

    server.Kill();
    runPeriod();
    for (int m : kModules)
        QCOMPARE(rowTexts(m), kDashes);
    QCOMPARE(m_window->com_P->toolTip(),
             QStringLiteral("Comport %1 cannot be opened: connection refused. Check the device "
                            "server's address and port.")
                 .arg(m_portName));
    QVERIFY(m_window->table.metering_on);

    QCOMPARE(server.Start(), QString());
    m_sim->clearRequests();
    readAll();
    for (int m : kModules)
        QVERIFY2(AllNumbers(rowTexts(m)), qPrintable(rowTexts(m).join(QLatin1Char(' '))));
    QVERIFY(writes().isEmpty()); // the modules kept their configuration
    QVERIFY(m_window->com_P->toolTip().contains(QStringLiteral("connected; round trip")));
    verifyDatalogWhole();

    // STOP ends the connection: the server is free for another program.
    m_window->Metering_F1stop_BClick();
    QVERIFY(!m_window->m_comport.Network().Linked());
}

QTEST_MAIN(tst_MeteringOnSim)
#include "tst_meteringonsim.moc"
