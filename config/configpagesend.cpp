// ConfigPage::SendConfiguration lives apart from the rest of the page so that
// a program that shows the page without sending does not link the Modbus
// master and its serial line.

#include "config/configpage.h"

#include "config/configsender.h"
#include "link/protocol.h"
#include "modules/moduletable.h"

#include <QWidget>

void ConfigPage::SendConfiguration(QWidget *mainWindow)
{
    Protocol protocol;
    // The bus work that follows keeps the thread; draw the window first.
    if (mainWindow)
        mainWindow->repaint();
    SendConfigurationRows(
        mainWindow, m_table, GridAddresses(),
        [&protocol](const BusTarget &target, int first, int count, const int16_t *values) {
            return protocol.WriteRegisters(target, first, count, values);
        });
}
