// The main window's debug page polling the bus simulator's three relay
// modules through a pseudo-terminal: the exchanges are real (TComPort,
// VRXProtocol, the 50 ms reply window), the ticks of VRX_Read_Timer are
// driven one by one from here. Modules fall silent, answer late or with
// garbage, and the whole line is pulled out and plugged in again; polling
// goes on through all of it.

#include "app/tmainf.h"
#include "config/configtree.h"
#include "debug/tvrx_rtd_f.h"
#include "sim/bussimulator.h"
#include "support/modal.h"
#include "support/ser2net.h"
#include "widgets/statuspanel.h"
#include "widgets/stringgrid.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_VrxOnSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init();
    void cleanup();

    void startUpTellsThePageTheUnit_data();
    void startUpTellsThePageTheUnit();
    void modulesTwoAndThreeArePolledInRowsOneAndTwo();
    void enableWithNothingToPollLeavesTimerAndMenu();
    void disableClosesThePortAndFreesTheMenu();
    void faultyModuleShowsBlueDashesAndComesBack_data();
    void faultyModuleShowsBlueDashesAndComesBack();
    void lineVanishesAndComesBack();
    void closingWhilePollingStopsTheTimerAndClosesThePort();
    void pollsThroughADeviceServer();

private:
    // Writes the preferences (the simulator's line as the port, the unit),
    // builds the window and shows the VRX-RTD page. The test is the timer:
    // the real one keeps running when started, but never ticks.
    void openWindow(const QString &unit = QStringLiteral("Celsius"));
    // Selects module m on the page with a click on its node and gives it the
    // input types, as the user does.
    void configure(int m, const SimInputTypes &types);
    void tick() { m_window->VRX_Read_TimerTimer(); }
    TVRX_RTD_F *page() const { return m_window->VRX_RTD_F1; }
    QStringList readings(int row) const;
    bool fresh(int row) const { return page()->Poller().Rows().at(row - 1).fresh; }
    QList<int> polledAddresses() const;

    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_oldDir;
    std::unique_ptr<BusSimulator> m_sim;
    // The port the window polls through: the simulator's pty unless a test
    // puts a device server in front of it.
    QString m_portName;
    std::unique_ptr<TMainF> m_window;
    std::shared_ptr<ModalSeen> m_modal;
};

namespace {

const QStringList kDashes(8, QStringLiteral("----"));

// A temperature the simulator gives in Celsius (15.0 to 30.0 degrees) or a
// loop current (10.0 to 14.0 mA), with one decimal.
bool Plausible(const QString &text, int type)
{
    static const QRegularExpression number(QStringLiteral("^-?\\d+\\.\\d$"));
    if (!number.match(text).hasMatch())
        return false;
    const double value = text.toDouble();
    return type == 5 ? value >= 10.0 && value <= 14.0 : value >= 15.0 && value <= 30.0;
}

// Each text plausible for the type at the same place.
bool AllPlausible(const QStringList &texts, const QList<int> &types)
{
    if (texts.size() != types.size())
        return false;
    for (int k = 0; k < texts.size(); ++k) {
        if (!Plausible(texts[k], types[k]))
            return false;
    }
    return true;
}

bool AllPlausible(const QStringList &texts, const SimInputTypes &types)
{
    return AllPlausible(texts, QList<int>(types.begin(), types.end()));
}

const SimInputTypes kModule2Types = {1, 1, 2, 2, 3, 3, 4, 4};
const SimInputTypes kModule3Types = {1, 1, 1, 5, 2, 3, 4, 5};

} // namespace

void tst_VrxOnSim::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid() && m_work->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config->path());
    m_oldDir = QDir::currentPath();
    QDir::setCurrent(m_work->path());

    m_sim = std::make_unique<BusSimulator>(m_work->filePath(QStringLiteral("ttyVRX")));
    m_sim->setRelayModules(true);
    const Result<> started = m_sim->start();
    QVERIFY2(started, qPrintable(started.error()));

    // The page never shows a message box; should one come, it is answered
    // and the test fails.
    m_modal = std::make_shared<ModalSeen>();
    AnswerNextModal(m_modal, [](QWidget *box) { box->close(); });
}

void tst_VrxOnSim::cleanup()
{
    m_portName.clear();
    QVERIFY2(!m_modal->seen, qPrintable(m_modal->caption + QLatin1Char(' ') + m_modal->text));
    m_window.reset();
    m_sim.reset();
    QDir::setCurrent(m_oldDir);
}

void tst_VrxOnSim::openWindow(const QString &unit)
{
    QVERIFY(QDir().mkpath(m_config->path() + QStringLiteral("/Quelmar")));
    {
        QFile store(m_config->path() + QStringLiteral("/Quelmar/QMRTD.conf"));
        QVERIFY(store.open(QIODevice::WriteOnly));
        if (m_portName.isEmpty())
            m_portName = m_sim->linkPath();
        store.write("[Preferences]\nComport=" + m_portName.toUtf8() +
                    "\nTemperature=" + unit.toUtf8() + "\n");
    }
    m_window = std::make_unique<TMainF>();
    TMainF &w = *m_window;
    QCOMPARE(w.vrx_comport.Port(), m_portName);
    QObject::disconnect(w.VRX_Read_Timer, &QTimer::timeout, &w, &TMainF::VRX_Read_TimerTimer);
    // What the module type page's VIEW does for the debug page set.
    w.SetTabVisible(w.VRX_Tab, true);
    w.PageControl1->setCurrentWidget(w.VRX_Tab);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}

void tst_VrxOnSim::configure(int m, const SimInputTypes &types)
{
    ConfigTree *tree = page()->VRX_TreeView;
    QTreeWidgetItem *node = tree->topLevelItem(m - 1);
    if (TVRX_RTD_F::NodeStateIndex(node) != 3)
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(node).center());
    QCOMPARE(page()->Poller().vrx_module_state[size_t(m)], 3);
    for (int k = 1; k <= 8; ++k)
        page()->Poller().vrx_input_type[size_t(k)][size_t(m)] = types[size_t(k - 1)];
    page()->Refresh_VRX_Grid();
}

QStringList tst_VrxOnSim::readings(int row) const
{
    QStringList texts;
    for (int c = 1; c <= 8; ++c)
        texts << page()->VRX_Read_Grid->Cell(c, row);
    return texts;
}

QList<int> tst_VrxOnSim::polledAddresses() const
{
    QList<int> addresses;
    for (const SimRequest &request : m_sim->requests())
        addresses << request.address;
    return addresses;
}

void tst_VrxOnSim::startUpTellsThePageTheUnit_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Celsius") << QStringLiteral("Celsius") << QStringLiteral("25.0");
    QTest::newRow("Fahrenheit") << QStringLiteral("Fahrenheit") << QStringLiteral("77.0");
}

void tst_VrxOnSim::startUpTellsThePageTheUnit()
{
    QFETCH(QString, unit);
    QFETCH(QString, shown);
    openWindow(unit);
    QCOMPARE(page()->Poller().unit_name, unit);
    configure(1, {1, 0, 0, 0, 0, 0, 0, 0});
    QVERIFY(m_sim->setRelayReading(1, 1, 75));
    m_window->VRX_RTD_F1enable_BtnClick();
    tick();
    QCOMPARE(readings(1).first(), shown);
}

void tst_VrxOnSim::modulesTwoAndThreeArePolledInRowsOneAndTwo()
{
    openWindow();
    TMainF &w = *m_window;
    configure(2, kModule2Types);
    configure(3, kModule3Types);
    // Module 3's first four inputs read shorted, open, 25 degrees, 12 mA.
    QVERIFY(m_sim->setRelayReading(3, 1, 255));
    QVERIFY(m_sim->setRelayReading(3, 2, 1));
    QVERIFY(m_sim->setRelayReading(3, 3, 75));
    QVERIFY(m_sim->setRelayReading(3, 4, 120));

    page()->enable_Btn->click();
    QVERIFY(page()->Polling());
    QVERIFY(!w.RTDModuleType1->isEnabled());
    QVERIFY(w.VRX_Read_Timer->isActive());
    QCOMPARE(w.VRX_Read_Timer->interval(), 1200);
    const StringGrid *grid = page()->VRX_Read_Grid;
    QCOMPARE(grid->RowCount(), 3);
    QCOMPARE(grid->Cell(0, 1), QStringLiteral("Module 2"));
    QCOMPARE(grid->Cell(0, 2), QStringLiteral("Module 3"));

    for (int t = 0; t < 4; ++t)
        tick();
    // Link addresses 14 and 15, in turn, each with its module's types.
    QCOMPARE(polledAddresses(), (QList<int>{14, 15, 14, 15}));
    const QList<quint16> sent3(kModule3Types.begin(), kModule3Types.end());
    QCOMPARE(m_sim->requests().last().values, sent3);
    QVERIFY2(AllPlausible(readings(1), kModule2Types), qPrintable(readings(1).join(u' ')));
    const QStringList row2 = readings(2);
    QCOMPARE(row2.mid(0, 4), (QStringList{QStringLiteral("SH"), QStringLiteral("OP"),
                                          QStringLiteral("25.0"), QStringLiteral("12.0")}));
    QVERIFY2(AllPlausible(row2.mid(4), QList<int>{2, 3, 4, 5}), qPrintable(row2.join(u' ')));
    QVERIFY(fresh(2));
    QVERIFY(!fresh(1));
    QVERIFY(page()->TxLit());
    QVERIFY(page()->RxLit());
    // KELVORA_SCREENSHOT names a file for a picture of the window now.
    if (const QByteArray path = qgetenv("KELVORA_SCREENSHOT"); !path.isEmpty())
        QVERIFY(w.grab().save(QString::fromLocal8Bit(path)));

    // The unit the temperature dialog sets shows from the next poll on.
    page()->Set_Unit_Name(QStringLiteral("Fahrenheit"));
    tick();
    tick();
    QCOMPARE(readings(2)[2], QStringLiteral("77.0"));
    QCOMPARE(readings(2)[3], QStringLiteral("12.0"));
}

void tst_VrxOnSim::enableWithNothingToPollLeavesTimerAndMenu()
{
    openWindow();
    TMainF &w = *m_window;
    configure(1, {});
    page()->enable_Btn->click();
    QVERIFY(!page()->Polling());
    QVERIFY(w.RTDModuleType1->isEnabled());
    QVERIFY(!w.VRX_Read_Timer->isActive());
    QVERIFY(page()->enable_Btn->isEnabled());
    tick();
    QVERIFY(m_sim->requests().isEmpty());
    QVERIFY(!w.vrx_comport.Connected());
}

void tst_VrxOnSim::disableClosesThePortAndFreesTheMenu()
{
    openWindow();
    TMainF &w = *m_window;
    configure(1, {5, 5, 5, 5, 5, 5, 5, 5});
    w.VRX_RTD_F1enable_BtnClick();
    tick();
    QVERIFY(AllPlausible(readings(1), QList<int>(8, 5)));
    // The port stays open between polls, with space parity.
    QVERIFY(w.vrx_comport.Connected());
    QCOMPARE(w.vrx_comport.Parity(), ParityBits::Space);
    const QStringList last = readings(1);

    page()->disable_Btn->click();
    QVERIFY(!page()->Polling());
    QVERIFY(w.RTDModuleType1->isEnabled());
    QVERIFY(!w.VRX_Read_Timer->isActive());
    QVERIFY(!w.vrx_comport.Connected());
    QVERIFY(page()->enable_Btn->isEnabled());
    QVERIFY(!page()->disable_Btn->isEnabled());
    QCOMPARE(readings(1), last);
    // A tick that was due no longer polls.
    tick();
    QCOMPARE(m_sim->requests().size(), 1);
}

void tst_VrxOnSim::faultyModuleShowsBlueDashesAndComesBack_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::newRow("silent") << Fault::Silent;
    QTest::newRow("late") << Fault::Late;
    QTest::newRow("garbage") << Fault::Garbage;
}

void tst_VrxOnSim::faultyModuleShowsBlueDashesAndComesBack()
{
    QFETCH(Fault, fault);
    openWindow();
    configure(1, kModule2Types);
    configure(2, kModule3Types);
    m_window->VRX_RTD_F1enable_BtnClick();
    tick();
    tick();
    QVERIFY(AllPlausible(readings(2), kModule3Types));

    QVERIFY(m_sim->setRelayFault(2, fault));
    tick();
    QVERIFY(page()->RxLit());
    page()->Rx_TimerTimer(); // module 1's flash is over
    tick();
    QCOMPARE(readings(2), kDashes);
    QVERIFY(fresh(2));
    QVERIFY(!page()->RxLit());
    // Module 1 goes on answering in between.
    QVERIFY(AllPlausible(readings(1), kModule2Types));

    m_sim->clearRelayFaults(2);
    tick();
    tick();
    QVERIFY2(AllPlausible(readings(2), kModule3Types), qPrintable(readings(2).join(u' ')));
    QVERIFY(fresh(2));
}

void tst_VrxOnSim::lineVanishesAndComesBack()
{
    openWindow();
    configure(1, kModule2Types);
    configure(3, kModule3Types);
    m_window->VRX_RTD_F1enable_BtnClick();
    tick();
    tick();

    QVERIFY(m_sim->vanish());
    tick();
    tick();
    QCOMPARE(readings(1), kDashes);
    QCOMPARE(readings(2), kDashes);
    QVERIFY(fresh(2));
    QVERIFY(page()->Polling());

    QVERIFY(m_sim->reappear().ok());
    tick();
    tick();
    QVERIFY2(AllPlausible(readings(1), kModule2Types), qPrintable(readings(1).join(u' ')));
    QVERIFY2(AllPlausible(readings(2), kModule3Types), qPrintable(readings(2).join(u' ')));
}

void tst_VrxOnSim::closingWhilePollingStopsTheTimerAndClosesThePort()
{
    openWindow();
    configure(1, kModule2Types);
    m_window->VRX_RTD_F1enable_BtnClick();
    tick();
    QVERIFY(m_window->vrx_comport.Connected());
    QVERIFY(m_window->close());
    QVERIFY(!m_window->VRX_Read_Timer->isActive());
    QVERIFY(!m_window->vrx_comport.Connected());
}

// The relay modules behind an RFC 2217 device server (ser2net): the page
// polls them as on a local port, the server switching mark and space parity
// for every poll; Disable ends the connection.
void tst_VrxOnSim::pollsThroughADeviceServer()
{
    Ser2net server(m_sim->linkPath());
    const QString up = server.Start();
    QVERIFY2(up.isEmpty(), qPrintable(up));
    m_portName = server.Rfc2217Name();
    openWindow();
    TMainF &w = *m_window;
    QVERIFY(w.vrx_comport.IsNetwork());
    configure(3, kModule3Types);
    QVERIFY(m_sim->setRelayReading(3, 1, 255));
    QVERIFY(m_sim->setRelayReading(3, 2, 1));
    QVERIFY(m_sim->setRelayReading(3, 3, 75));
    QVERIFY(m_sim->setRelayReading(3, 4, 120));

    w.VRX_RTD_F1enable_BtnClick();
    // The first poll may find the connection still being made, and one
    // more hop may hand a reply over late on a loaded machine: a poll that
    // fails is simply made again at the next tick.
    const QStringList expected = {QStringLiteral("SH"), QStringLiteral("OP"),
                                  QStringLiteral("25.0"), QStringLiteral("12.0")};
    for (int t = 0; t < 10 && !(fresh(1) && readings(1).mid(0, 4) == expected); ++t)
        tick();
    QCOMPARE(readings(1).mid(0, 4), expected);
    QVERIFY(fresh(1));
    for (const int address : polledAddresses())
        QCOMPARE(address, 15);
    QVERIFY(w.vrx_comport.Network().Linked());
    QVERIFY2(w.com_P->toolTip().contains(QStringLiteral("connected; round trip")),
             qPrintable(w.com_P->toolTip()));

    page()->disable_Btn->click();
    QVERIFY(!w.vrx_comport.Network().Linked());
}

QTEST_MAIN(tst_VrxOnSim)
#include "tst_vrxonsim.moc"
