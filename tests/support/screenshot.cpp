// Shows the station window, starts a test on PORT as an operator would, and saves a picture of
// the window once a few polls have been answered.
//
//   station_screenshot PORT OUTPUT.png [MILLISECONDS]

#include "form1.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ui::applicationName));
    if (argc < 3) {
        std::fprintf(stderr, "usage: station_screenshot PORT OUTPUT.png [MILLISECONDS]\n");
        return 2;
    }
    ui::Form1 form;
    if (!form.load())
        return 1;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;

    auto *combo = form.findChild<QComboBox *>(QStringLiteral("cmbComPort"));
    combo->setCurrentText(QString::fromLocal8Bit(argv[1]));
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("cmdStart")), Qt::LeftButton);
    QTest::qWait(argc > 3 ? std::atoi(argv[3]) : 1800);
    // Grab between ticks, while the reply of the last poll is on display.
    (void)QTest::qWaitFor(
        [&] { return form.field(station::Field::lblRxDataResult)->text().size() > 8; });

    if (!form.grab().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "could not write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
