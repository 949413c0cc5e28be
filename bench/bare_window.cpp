// bare_window: the yardstick of bench/startup.sh. A Qt Widgets window of the
// main window's size with nothing in it: what any Qt program pays to show its
// first window on this machine (loading the libraries, the platform plugin,
// fonts, the connection to the display).

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(800, 550);
    window.show();
    return app.exec();
}
