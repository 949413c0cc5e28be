#include "app/moduleselectionpage.h"
#include "app/tcomportf.h"
#include "app/tmainf.h"
#include "app/tperiodf.h"
#include "app/ttemperaturef.h"
#include "config/configpage.h"
#include "config/configtree.h"
#include "debug/tvrx_rtd_f.h"
#include "support/lockholder.h"
#include "support/modal.h"
#include "support/pty.h"
#include "support/windowenvironment.h"
#include "widgets/statuspanel.h"
#include "widgets/tqmspinedit.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>

// The main window's option handlers: each dialog runs modally and is
// answered from the test, then the window saves, sets its ports and panels.
// The module type selection switches the page sets; the menus carry
// mnemonics and shortcuts; the Comport panel says why the bus port cannot be
// opened.
class TestMainOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void comportDialogSetsSavesAndShowsThePort();
    void comportCancelStillSaves();
    void comportListIsSortedAndOffersStableNamesAndTheSimulator();
    void comportChangeWhileTheDebugLinkHoldsItsPortThrowsNothing();
    void enterInComportKeepsThePortTheDebugLinkPollsOn();
    void comportTypedNetworkPortIsSetSavedAndOfferedNextTime();
    void temperatureDialogSetsSavesAndShowsTheUnit();
    void periodDialogUsesTheActiveModules();
    void moduleTypeShowsOnlyTheSelection();
    void viewDebugSetsTheDebugPageSet();
    void viewStandardRestoresTheStandardPageSet();
    void autoStartStoredOffAfterViewDebugAndClose();
    void menusHaveDistinctMnemonicsAndTheUsualShortcuts();
    void comportPanelSaysWhyTheBusPortCannotBeOpened();

private:
    std::unique_ptr<WindowEnvironment> m_env;
};

namespace {

// Module m listed with every input set to type 1 (Pt100).
void configure(TMainF &w, int m)
{
    const int g = ModuleTable::GroupOf(m);
    w.Config_Page->Config_Tree->topLevelItem(g - 1)->setExpanded(true);
    w.table.module_state[size_t(m)] = kMarkOn;
    for (int k = 1; k <= kInputCount; ++k)
        w.table.input_type[size_t(k)][size_t(m)] = 1;
    w.Config_Page->RefreshConfigGrid();
}

// Runs handler while the next modal dialog of type D is answered by act.
template <typename D>
std::shared_ptr<ModalSeen> Answer(const std::function<void()> &handler,
                                  const std::function<void(D *)> &act)
{
    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [act](QWidget *modal) {
        auto *dialog = qobject_cast<D *>(modal);
        QVERIFY(dialog);
        act(dialog);
    });
    handler();
    return seen;
}

QStringList ItemNames(const QComboBox *list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->itemData(i).toString();
    return names;
}

} // namespace

void TestMainOptions::init()
{
    m_env = std::make_unique<WindowEnvironment>();
}

void TestMainOptions::cleanup()
{
    m_env.reset();
}

void TestMainOptions::comportDialogSetsSavesAndShowsThePort()
{
    Pty first;
    Pty second;
    QStringList ports{first.Path(), second.Path()};
    ports.sort();
    TMainF w;
    w.ListPorts = [&ports] { return ports; };
    // From the menu item, as from the panel (the panel triggers the item).
    const auto seen = Answer<TComportF>([&w] { w.Comport1->trigger(); },
                                        [](TComportF *dialog) {
                                            dialog->cport_CB->setCurrentIndex(1);
                                            dialog->ok_BClick();
                                        });
    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Comport Options"));
    QCOMPARE(w.PrefInfo.Comport, ports[1]);
    QCOMPARE(m_env->storedValue(QStringLiteral("Comport")), ports[1]);
    QCOMPARE(w.m_comport.Port(), ports[1]);
    QCOMPARE(w.vrx_comport.Port(), ports[1]);
    QCOMPARE(w.com_P->text(), QStringLiteral("Comport: ") + ports[1]);
    // The dialog was freed.
    QVERIFY(w.findChildren<TComportF *>().isEmpty());
}

void TestMainOptions::comportCancelStillSaves()
{
    m_env->writeStore("Comport=ttyKelvoraGone\nPeriod=80\n");
    TMainF w;
    w.ListPorts = [] { return QStringList(); };
    w.PrefInfo.Period = 90; // changed in memory since the last save
    Answer<TComportF>([&w] { w.Comport1Click(); },
                      [](TComportF *dialog) { dialog->cancel_BClick(); });
    QCOMPARE(w.PrefInfo.Comport, QStringLiteral("ttyKelvoraGone"));
    QCOMPARE(m_env->storedValue(QStringLiteral("Period")), QStringLiteral("90"));
    QCOMPARE(w.com_P->text(), QStringLiteral("Comport: ttyKelvoraGone"));
}

// The list as ListSerialPorts makes it: the kernel's names sorted as text,
// a USB adapter's stable name and a running simulator's link, each a full
// path. None of the kernel's names here is a port, so each is marked.
void TestMainOptions::comportListIsSortedAndOffersStableNamesAndTheSimulator()
{
    Pty adapter;
    Pty simulator;
    QVERIFY(QDir().mkpath(m_env->path(QStringLiteral("by-id"))));
    QVERIFY(QDir().mkpath(m_env->path(QStringLiteral("kelvora-sim"))));
    const QString stable =
        m_env->path(QStringLiteral("by-id/usb-FTDI_FT232R_USB_UART_A10K2SNP-if00-port0"));
    const QString simLink = m_env->path(QStringLiteral("kelvora-sim/ttyKELV0"));
    QVERIFY(QFile::link(adapter.Path(), stable));
    QVERIFY(QFile::link(simulator.Path(), simLink));
    const SerialPortFolders folders{.byId = m_env->path(QStringLiteral("by-id")),
                                    .simulators = {m_env->path(QStringLiteral("kelvora-sim"))}};

    TMainF w;
    w.ListPorts = [&folders] {
        return CollectSerialPorts({QStringLiteral("ttyKelvoraS2"), QStringLiteral("ttyKelvoraS10"),
                                   QStringLiteral("ttyKelvoraS1")},
                                  folders);
    };
    QStringList names;
    QStringList texts;
    Answer<TComportF>([&w] { w.Comport1Click(); },
                      [&](TComportF *dialog) {
                          names = ItemNames(dialog->cport_CB);
                          for (int i = 0; i < dialog->cport_CB->count(); ++i)
                              texts << dialog->cport_CB->itemText(i);
                          dialog->cport_CB->setCurrentIndex(int(names.indexOf(simLink)));
                          dialog->ok_BClick();
                      });
    QStringList expected{stable, simLink};
    expected.sort();
    expected << QStringLiteral("ttyKelvoraS1") << QStringLiteral("ttyKelvoraS10")
             << QStringLiteral("ttyKelvoraS2");
    QCOMPARE(names, expected);
    QCOMPARE(texts.at(2), QStringLiteral("ttyKelvoraS1  (in use)"));
    QCOMPARE(texts.at(int(names.indexOf(stable))), stable); // free, so unmarked
    QCOMPARE(w.PrefInfo.Comport, simLink);
    QCOMPARE(w.m_comport.Port(), simLink);
}

// The debug link's port stays open while its page polls, and a new name
// reopens it; an open that fails there must not escape the handler.
void TestMainOptions::comportChangeWhileTheDebugLinkHoldsItsPortThrowsNothing()
{
    Pty relay;
    TMainF w;
    w.vrx_comport.SetPort(relay.Path());
    w.vrx_comport.Open();
    const QString gone = m_env->path(QStringLiteral("ttyGone"));
    w.ListPorts = [&gone] { return QStringList{gone}; };
    Answer<TComportF>([&w] { w.Comport1Click(); }, [](TComportF *dialog) { dialog->ok_BClick(); });
    QCOMPARE(w.PrefInfo.Comport, gone);
    QCOMPARE(w.vrx_comport.Port(), gone);
    QVERIFY(!w.vrx_comport.Connected());
    QCOMPARE(w.vrx_comport.LastOpenError(), ENOENT);
}

// While the debug page polls, its link holds the port open, so the dialog
// marks the current port "  (in use)". It used to open on the first port
// then, and Enter moved the bus there without a word.
void TestMainOptions::enterInComportKeepsThePortTheDebugLinkPollsOn()
{
    Pty first;
    Pty second;
    QStringList ports{first.Path(), second.Path()};
    ports.sort();
    const QString bus = ports[1];
    m_env->writeStore("Comport=" + bus.toUtf8() + "\n");
    TMainF w;
    w.ListPorts = [&ports] { return ports; };
    w.RTDModuleType1Click();
    w.Selection_Page->vrx_RB->setChecked(true);
    w.view_BClick();
    w.VRX_RTD_F1->Poller().SetModuleState(1, kMarkOn);
    w.VRX_RTD_F1->Poller().SetInputType(1, 1, 1);
    w.VRX_RTD_F1enable_BtnClick();
    w.VRX_Read_Timer->stop(); // the test polls
    w.VRX_Read_TimerTimer();  // nobody answers; the port stays open
    QVERIFY(w.vrx_comport.Connected());

    QString chosen;
    Answer<TComportF>([&w] { w.Comport1->trigger(); },
                      [&chosen](TComportF *dialog) {
                          chosen = dialog->cport_CB->currentText();
                          PressKey(dialog, Qt::Key_Return);
                      });
    QCOMPARE(chosen, bus + QStringLiteral("  (in use)"));
    QCOMPARE(w.PrefInfo.Comport, bus);
    QCOMPARE(m_env->storedValue(QStringLiteral("Comport")), bus);
    QCOMPARE(w.m_comport.Port(), bus);
    QCOMPARE(w.vrx_comport.Port(), bus);
    w.VRX_RTD_F1disable_BtnClick();
}

// A network port typed in the dialog becomes the port of both lines, kind and
// all, and is saved: its name as Comport among the twelve values, and in the
// list of network ports of its own group, which the next start offers again
// and chooses. Nothing connects: the name is only set.
void TestMainOptions::comportTypedNetworkPortIsSetSavedAndOfferedNextTime()
{
    Pty serial;
    const QStringList ports{serial.Path()};
    const QString typed = QStringLiteral("tcp://127.0.0.1:4001");
    {
        TMainF w;
        w.ListPorts = [&ports] { return ports; };
        Answer<TComportF>([&w] { w.Comport1->trigger(); },
                          [&typed](TComportF *dialog) {
                              dialog->cport_CB->setEditText(typed);
                              dialog->ok_BClick();
                          });
        QCOMPARE(w.PrefInfo.Comport, typed);
        for (BusPort *port : {&w.m_comport, &w.vrx_comport}) {
            QCOMPARE(port->Port(), typed);
            QVERIFY(port->IsNetwork());
            QVERIFY(!port->Connected());
        }
        QCOMPARE(w.com_P->text(), QStringLiteral("Comport: ") + typed);
        QSettings raw(m_env->storeFile(), QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("Preferences"));
        QCOMPARE(raw.childKeys().size(), 12);
        QCOMPARE(raw.value(QStringLiteral("Comport")).toString(), typed);
        raw.endGroup();
        QCOMPARE(raw.value(QStringLiteral("NetworkPorts/Recent")).toStringList(),
                 QStringList{typed});
    }

    TMainF next;
    next.ListPorts = [&ports] { return ports; };
    QVERIFY(next.m_comport.IsNetwork());
    QStringList texts;
    QString chosen;
    Answer<TComportF>([&next] { next.Comport1Click(); },
                      [&](TComportF *dialog) {
                          for (int i = 0; i < dialog->cport_CB->count(); ++i)
                              texts << dialog->cport_CB->itemText(i);
                          chosen = dialog->cport_CB->currentText();
                          // Back to the serial port: the network port stays offered.
                          dialog->cport_CB->setCurrentIndex(0);
                          dialog->ok_BClick();
                      });
    QCOMPARE(texts, (QStringList{serial.Path(), typed}));
    QCOMPARE(chosen, typed);
    QCOMPARE(next.m_comport.Port(), serial.Path());
    QVERIFY(!next.m_comport.IsNetwork());
    QCOMPARE(next.recent_netports, QStringList{typed});
    QSettings raw(m_env->storeFile(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("NetworkPorts/Recent")).toStringList(), QStringList{typed});
}

void TestMainOptions::temperatureDialogSetsSavesAndShowsTheUnit()
{
    TMainF w;
    int opened = -2;
    const auto seen = Answer<TTemperatureF>([&w] { w.TempDisplay1->trigger(); },
                                            [&opened](TTemperatureF *dialog) {
                                                opened = dialog->temp_CB->currentIndex();
                                                dialog->temp_CB->setCurrentIndex(1);
                                                dialog->ok_BClick();
                                            });
    QCOMPARE(seen->caption, QStringLiteral("Temperature Display"));
    QCOMPARE(opened, 0);
    QCOMPARE(w.PrefInfo.Temperature, QStringLiteral("Fahrenheit"));
    QCOMPARE(m_env->storedValue(QStringLiteral("Temperature")), QStringLiteral("Fahrenheit"));
    QCOMPARE(w.temp_P->text(), QStringLiteral("Temperature: Fahrenheit"));
}

// The limits themselves are PeriodSpinFor's (tst_optionvalues); the window
// adds the number of modules, counted afresh, and the save and the panel.
void TestMainOptions::periodDialogUsesTheActiveModules()
{
    m_env->writeStore("Period=4\n");
    TMainF w;
    for (int m = 1; m <= 5; ++m)
        configure(w, 2 * m); // modules 2, 4, ...: in the first group
    // Configured in the table only: not yet counted as active.
    QVERIFY(w.table.module_active[2] != kMarkOn);
    double min = -1;
    QString shown;
    const auto seen = Answer<TPeriodF>([&w] { w.SamplePeriod1->trigger(); },
                                       [&](TPeriodF *dialog) {
                                           min = dialog->period_SE->Min();
                                           shown = dialog->period_SE->TextBox()->text();
                                           dialog->ok_BClick();
                                       });
    QCOMPARE(seen->caption, QStringLiteral("Period Selection"));
    QCOMPARE(min, 10.0);
    QCOMPARE(shown, QStringLiteral("10 s"));
    QCOMPARE(w.PrefInfo.Period, 10);
    QCOMPARE(m_env->storedValue(QStringLiteral("Period")), QStringLiteral("10"));
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: 10"));
    // UpdateActiveModules rewrote the active set.
    QCOMPARE(w.table.module_active[2], kMarkOn);
}

void TestMainOptions::moduleTypeShowsOnlyTheSelection()
{
    TMainF w;
    w.SetTabVisible(w.Plot_Tab, true); // as metering leaves it
    w.RTDModuleType1->trigger();
    QCOMPARE(w.PageControl1->currentWidget(), w.Selection_Tab);
    QVERIFY(w.IsTabVisible(w.Selection_Tab));
    QVERIFY(w.IsTabVisible(w.Plot_Tab)); // keeps its state
    for (QWidget *page : {w.Metering_Tab, w.Config_Tab, w.Misc_Tab, w.VRX_Tab})
        QVERIFY2(!w.IsTabVisible(page), qPrintable(page->objectName()));
    QCOMPARE(w.focusWidget(), w.Selection_Page->tav_RB); // the keyboard can choose at once

    TMainF other;
    other.RTDModuleType1Click();
    QVERIFY(!other.IsTabVisible(other.Plot_Tab));
}

void TestMainOptions::viewDebugSetsTheDebugPageSet()
{
    m_env->writeStore("Datalog=1\nAutoStart=0\nPeriod=4\n");
    TMainF w;
    w.PrefInfo.AutoStart = true;
    configure(w, 3);
    configure(w, 5);
    configure(w, 6); // three active modules, and Period 4 below their 6
    w.RTDModuleType1Click();
    w.Selection_Page->vrx_RB->setChecked(true);
    QTest::mouseClick(w.Selection_Page->view_B, Qt::LeftButton);

    QCOMPARE(w.PageControl1->currentWidget(), w.VRX_Tab);
    QVERIFY(w.IsTabVisible(w.VRX_Tab));
    for (QWidget *page : {w.Selection_Tab, w.Metering_Tab, w.Config_Tab, w.Misc_Tab, w.Plot_Tab})
        QVERIFY2(!w.IsTabVisible(page), qPrintable(page->objectName()));
    QVERIFY(!w.PrefInfo.AutoStart);
    QCOMPARE(m_env->storedValue(QStringLiteral("AutoStart")), QStringLiteral("0")); // not saved yet
    QVERIFY(w.PrefInfo.Datalog); // only the panel says OFF
    for (StatusPanel *panel : {w.config_file_P, w.datalog_file_P}) {
        QVERIFY(panel->isHidden());
        QVERIFY(!panel->isEnabled());
    }
    QCOMPARE(w.datalog_P->text(), QStringLiteral("Datalogging: OFF"));
    QVERIFY(w.period_P->text().isEmpty());
    QVERIFY(!w.datalog_P->isEnabled());
    QVERIFY(!w.period_P->isEnabled());
    QVERIFY(!w.Datalogging1->isEnabled());
    QVERIFY(!w.SamplePeriod1->isEnabled());
    // The port and the unit stay available, and so does the way back.
    for (QAction *item : {w.Comport1, w.TempDisplay1, w.RTDModuleType1})
        QVERIFY(item->isEnabled());
    QVERIFY(w.com_P->isEnabled() && w.temp_P->isEnabled());
    // No page was prepared for metering on the way.
    QCOMPARE(w.PrefInfo.Period, 4);
}

void TestMainOptions::viewStandardRestoresTheStandardPageSet()
{
    m_env->writeStore("Datalog=1\nPeriod=4\n");
    TMainF w;
    configure(w, 3);
    configure(w, 5);
    configure(w, 6);
    w.RTDModuleType1Click();
    w.Selection_Page->vrx_RB->setChecked(true);
    w.view_BClick();
    w.SetTabVisible(w.Plot_Tab, true);
    w.RTDModuleType1Click();
    w.Selection_Page->tav_RB->setChecked(true);
    w.view_BClick();

    QCOMPARE(w.PageControl1->currentWidget(), w.Config_Tab);
    for (QWidget *page : {w.Metering_Tab, w.Config_Tab, w.Misc_Tab})
        QVERIFY2(w.IsTabVisible(page), qPrintable(page->objectName()));
    for (QWidget *page : {w.Selection_Tab, w.VRX_Tab, w.Plot_Tab})
        QVERIFY2(!w.IsTabVisible(page), qPrintable(page->objectName()));
    QCOMPARE(w.datalog_P->text(), QStringLiteral("Datalogging: ON"));
    QVERIFY(w.datalog_file_P->text().startsWith(QStringLiteral("Datalog To: rtd_data_")));
    QVERIFY(w.period_P->text().isEmpty()); // until the next PrepareMetering
    for (StatusPanel *panel : {w.config_file_P, w.datalog_file_P, w.datalog_P, w.period_P}) {
        QVERIFY2(!panel->isHidden() && panel->isEnabled(), qPrintable(panel->objectName()));
    }
    QVERIFY(w.Datalogging1->isEnabled());
    QVERIFY(w.SamplePeriod1->isEnabled());
    QCOMPARE(w.PrefInfo.Period, 4);
    // Choosing the Metering page now prepares metering as always.
    w.PageControl1->setCurrentWidget(w.Metering_Tab);
    QCOMPARE(w.period_P->text(), QStringLiteral("Period: 6"));
}

void TestMainOptions::autoStartStoredOffAfterViewDebugAndClose()
{
    m_env->writeStore("Datalog=1\nAutoStart=1\nConfig_File=" +
                      m_env->path(QStringLiteral("none.cfg")).toUtf8() + "\n");
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^Configuration not loaded")));
    {
        TMainF w;
        QVERIFY(w.PrefInfo.AutoStart);
        w.Metering_F1stop_BClick(); // the automatic start metered; stop as a user would
        w.RTDModuleType1Click();
        w.Selection_Page->vrx_RB->setChecked(true);
        w.view_BClick();
        QCOMPARE(m_env->storedValue(QStringLiteral("AutoStart")), QStringLiteral("1"));
        w.show();
        QVERIFY(w.close());
    }
    QCOMPARE(m_env->storedValue(QStringLiteral("AutoStart")), QStringLiteral("0"));
    QCOMPARE(m_env->storedValue(QStringLiteral("Datalog")), QStringLiteral("1"));
}

// Every menu title and item has a mnemonic, none twice in one menu, and the
// captions read as before without it. The file commands and the help have
// the usual keys.
void TestMainOptions::menusHaveDistinctMnemonicsAndTheUsualShortcuts()
{
    TMainF w;
    const auto mnemonic = [](const QString &text) {
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        return at < 0 || at + 1 >= text.size() ? QChar() : text.at(at + 1).toLower();
    };
    const QList<QAction *> titles = w.menuBar()->actions();
    QStringList plainTitles;
    QSet<QChar> titleKeys;
    for (QAction *title : titles) {
        plainTitles << QString(title->text()).remove(QLatin1Char('&'));
        QVERIFY2(!mnemonic(title->text()).isNull(), qPrintable(title->text()));
        titleKeys.insert(mnemonic(title->text()));
        QSet<QChar> keys;
        int items = 0;
        for (QAction *item : title->menu()->actions()) {
            if (item->isSeparator())
                continue;
            ++items;
            const QChar key = mnemonic(item->text());
            QVERIFY2(!key.isNull(), qPrintable(item->text()));
            keys.insert(key);
        }
        QCOMPARE(keys.size(), items);
    }
    QCOMPARE(plainTitles, (QStringList{QStringLiteral("File"), QStringLiteral("Options"),
                                       QStringLiteral("Diagnostics"), QStringLiteral("Help")}));
    QCOMPARE(titleKeys.size(), titles.size());

    const QList<std::pair<QAction *, QKeySequence>> keys = {
        {w.NewConfiguration1, QKeySequence(QStringLiteral("Ctrl+N"))},
        {w.LoadConfig1, QKeySequence(QStringLiteral("Ctrl+O"))},
        {w.SaveConfig1, QKeySequence(QStringLiteral("Ctrl+S"))},
        {w.Contents1, QKeySequence(QStringLiteral("F1"))},
        {w.BusSearch1, QKeySequence(QStringLiteral("F8"))},
    };
    for (const auto &[item, key] : keys)
        QCOMPARE(item->shortcut(), key);
    // While metering runs the file commands are off, their keys with them.
    w.Metering_F1start_BClick();
    w.Read_Timer->stop();
    QVERIFY(!w.NewConfiguration1->isEnabled());
    w.Metering_F1stop_BClick();
}

// After bus work the Comport panel's tip says why the port did not open, in
// plain words, and loses it once an open succeeds; the readings show "----"
// meanwhile as ever.
void TestMainOptions::comportPanelSaysWhyTheBusPortCannotBeOpened()
{
    const QString port = m_env->path(QStringLiteral("ttyUSB0"));
    m_env->writeStore("Comport=" + port.toUtf8() + "\n");
    TMainF w;
    configure(w, 2);
    w.PrepareMetering();
    QVERIFY(w.com_P->toolTip().isEmpty());
    w.Metering_F1start_BClick(); // sends the configuration first
    w.Read_Timer->stop();        // the test ticks
    const QString missing = w.com_P->toolTip();
    qInfo("missing path: \"%s\"", qPrintable(missing));
    QCOMPARE(missing, QStringLiteral("Comport %1 cannot be opened: there is no such port. Plug the "
                                     "adapter in, or choose another port (Options, Change "
                                     "Comport).")
                          .arg(port));
    QCOMPARE(w.com_P->accessibleDescription(), missing);
    // Pointing at the panel shows it.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), w.com_P->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w.com_P, &hover);
    QCOMPARE(QToolTip::text(), missing);
    QToolTip::hideText();

    // Another program takes the port.
    Pty pty;
    QVERIFY(QFile::link(pty.Path(), port));
    {
        LockHolder holder(port);
        QVERIFY(holder.locked());
        w.Read_TimerTimer();
        QCOMPARE(w.com_P->toolTip(),
                 QStringLiteral("Comport %1 cannot be opened: it is in use by another program.")
                     .arg(port));
        qInfo("held with flock: \"%s\"", qPrintable(w.com_P->toolTip()));
    }
    // Let go: the next read opens the port (nobody answers on the pty).
    w.cycle.Start(); // a new period: its first tick reads module 2 again
    w.Read_TimerTimer();
    QVERIFY2(w.com_P->toolTip().isEmpty(), qPrintable(w.com_P->toolTip()));
    QVERIFY(w.com_P->accessibleDescription().isEmpty());
    QCOMPARE(w.com_P->text(), QStringLiteral("Comport: ") + port);
    w.Metering_F1stop_BClick();
}

QTEST_MAIN(TestMainOptions)
#include "tst_mainoptions.moc"
