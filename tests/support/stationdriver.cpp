// The station as its main() runs it, with a port typed in and Start pressed once the window
// shows. For tests of the program as a whole: how it starts, runs on a platform and ends.
//   station_driver PORT [REPLIES]
// Prints "polling" once the port is open (else "not polling: " and the reason), then the window
// as the platform shows it, then "reply" and the five verdicts for each reply decoded. After
// REPLIES replies it presses Stop and closes the window; without, it runs until it is ended.

#include "runstation.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

using station::Field;

void print(const QString &line)
{
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ui::applicationName));
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: station_driver PORT [REPLIES]\n");
        return 64;
    }
    const QString port = QString::fromLocal8Bit(argv[1]);
    const int stopAfter = argc == 3 ? std::atoi(argv[2]) : 0;
    return ui::runStation([port, stopAfter](ui::Form1 &form) {
        auto *box = form.findChild<QComboBox *>(QStringLiteral("cmbComPort"));
        if (!QTest::qWaitFor([box] { return box->isEditable(); }, 5000)) {
            print(QStringLiteral("not polling: the port box never became editable"));
            return;
        }
        box->setCurrentText(port);
        form.findChild<QPushButton *>(QStringLiteral("cmdStart"))->click();
        if (form.portController().state() != port::SerialPortController::State::Open) {
            print(QStringLiteral("not polling: ") + form.field(Field::lblRxDataResult)->toolTip());
            return;
        }
        print(QStringLiteral("polling"));
        print(QStringLiteral("platform=%1 title=\"%2\" size=%3x%4 appid=%5")
                  .arg(QGuiApplication::platformName(), form.windowTitle())
                  .arg(form.width())
                  .arg(form.height())
                  .arg(QGuiApplication::desktopFileName()));

        // Watches the hex field: a reply is decoded when the field shows one ending in 80 FF.
        auto *watch = new QTimer(&form);
        auto replies = std::make_shared<int>(0);
        QObject::connect(watch, &QTimer::timeout, &form, [&form, watch, replies, stopAfter] {
            static QString last;
            const QString shown = form.field(Field::lblRxDataResult)->text();
            if (shown == last)
                return;
            last = shown;
            if (!shown.endsWith(QStringLiteral("80 FF ")))
                return;
            QStringList verdicts;
            for (const Field field :
                 {Field::lblCdDtrResult, Field::lblCtsRtsResult, Field::lblRtsCtsResult,
                  Field::lblDtrCdResult, Field::lblTxRxResult})
                verdicts.append(form.field(field)->text());
            print(QStringLiteral("reply ") + verdicts.join(QLatin1Char(' ')));
            if (stopAfter > 0 && ++*replies == stopAfter) {
                watch->stop();
                form.findChild<QPushButton *>(QStringLiteral("cmdStop"))->click();
                print(QStringLiteral("stopped"));
                form.close();
            }
        });
        watch->start(10);
    });
}
