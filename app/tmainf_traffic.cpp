// Diagnostics, "Bus Traffic...": the traffic window on the window's exchange
// log. It only reads the log; the bus goes on as it does without it.

#include "app/tmainf.h"
#include "app/trafficwindow.h"

void TMainF::BusTraffic1Click()
{
    if (!Traffic_Window) {
        // Readings are worded with the types configured now and the unit
        // preference, both read again at every refresh.
        Traffic_Window = new TrafficWindow(
            bus_log,
            [this] {
                TrafficDecoding decoding;
                decoding.unit = PrefInfo.Temperature;
                decoding.inputType = [this](int address, int input) {
                    if (address < 1 || address > kModuleCount || input < 1 || input > kInputCount)
                        return -1;
                    return table.input_type[size_t(input)][size_t(address)];
                };
                return decoding;
            },
            this);
        Traffic_Window->setAttribute(Qt::WA_DeleteOnClose);
    }
    Traffic_Window->show();
    Traffic_Window->raise();
    Traffic_Window->activateWindow();
}
