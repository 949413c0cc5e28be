// Saves pictures of the option dialogs, the open port list and the module
// type selection page to the folder given (default "screenshots"), to look
// at them as a user would:
//   QT_QPA_PLATFORM=offscreen build/tests/app/optionscreenshots build/screenshots
// The ports are pseudo-terminals made here, one held by another process, with
// a USB adapter's stable name and a simulator link pointing at them.

#include "app/moduleselectionpage.h"
#include "app/tcomportf.h"
#include "app/tmainf.h"
#include "app/tperiodf.h"
#include "app/ttemperaturef.h"
#include "support/lockholder.h"
#include "support/pty.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool Save(QWidget *widget, const QString &file)
{
    QCoreApplication::processEvents();
    const bool saved = widget->grab().save(file);
    std::printf("%s %s\n", saved ? "saved" : "NOT saved", qPrintable(file));
    return saved;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);
    const auto file = [&folder](const char *name) {
        return QDir(folder).filePath(QString::fromLatin1(name));
    };
    QTemporaryDir config;
    QTemporaryDir links;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());

    Pty free;
    Pty held;
    Pty adapter;
    LockHolder holder(held.Path());
    QDir().mkpath(links.filePath(QStringLiteral("by-id")));
    QDir().mkpath(links.filePath(QStringLiteral("kelvora-sim")));
    QFile::link(adapter.Path(), links.filePath(QStringLiteral(
                                    "by-id/usb-FTDI_FT232R_USB_UART_A10K2SNP-if00-port0")));
    QFile::link(free.Path(), links.filePath(QStringLiteral("kelvora-sim/ttyKELV0")));
    const QStringList ports =
        CollectSerialPorts({QStringLiteral("ttyS0"), held.Path()},
                           {.byId = links.filePath(QStringLiteral("by-id")),
                            .simulators = {links.filePath(QStringLiteral("kelvora-sim"))}});

    TMainF w;
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);

    QString comport = links.filePath(QStringLiteral("kelvora-sim/ttyKELV0"));
    QStringList recent{QStringLiteral("rfc2217://192.168.10.40:4001"),
                       QStringLiteral("tcp://gateway.plant.local:4002")};
    TComportF comportDialog(comport, recent, ports, &w);
    comportDialog.show();
    Save(&comportDialog, file("comport-dialog.png"));
    comportDialog.cport_CB->showPopup();
    Save(comportDialog.cport_CB->view()->window(), file("comport-list.png"));
    comportDialog.cport_CB->hidePopup();
    comportDialog.hide();

    QString unit = QStringLiteral("Fahrenheit");
    TTemperatureF temperatureDialog(unit, &w);
    temperatureDialog.show();
    Save(&temperatureDialog, file("temperature-dialog.png"));
    temperatureDialog.hide();

    int period = 63;
    TPeriodF periodDialog(period, 5, &w);
    periodDialog.show();
    Save(&periodDialog, file("period-dialog.png"));
    periodDialog.hide();

    w.RTDModuleType1Click();
    Save(&w, file("selection-page.png"));
    w.Selection_Page->vrx_RB->setChecked(true);
    w.view_BClick();
    Save(&w, file("debug-page-set.png"));
    w.RTDModuleType1Click();
    w.Selection_Page->tav_RB->setChecked(true);
    w.view_BClick();
    Save(&w, file("standard-page-set.png"));
    return 0;
}
