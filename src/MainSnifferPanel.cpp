// The sniffer panel of the main window: Start, Stop, the port key filters and
// the window's close.

#include "Main.h"
#include "ui_Main.h"

#include <QCloseEvent>

void TForm1::ConnectSnifferPanel() {}

void TForm1::FormClose() {}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}
