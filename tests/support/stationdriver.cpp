// The station as its main() runs it, with a port typed in and Start pressed once the window
// shows; prints "polling" when the port is open, else the reason. For tests of how the program
// as a whole starts and ends.
//   station_driver PORT

#include "runstation.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ui::applicationName));
    if (argc != 2) {
        std::fprintf(stderr, "usage: station_driver PORT\n");
        return 64;
    }
    const QString port = QString::fromLocal8Bit(argv[1]);
    return ui::runStation([port](ui::Form1 &form) {
        auto *box = form.findChild<QComboBox *>(QStringLiteral("cmbComPort"));
        QTest::qWaitFor([box] { return box->isEditable(); }, 5000);
        box->setCurrentText(port);
        form.findChild<QPushButton *>(QStringLiteral("cmdStart"))->click();
        if (form.portController().state() == port::SerialPortController::State::Open)
            std::printf("polling\n");
        else
            std::printf(
                "not polling: %s\n",
                form.field(station::Field::lblRxDataResult)->toolTip().toLocal8Bit().constData());
        std::fflush(stdout);
    });
}
