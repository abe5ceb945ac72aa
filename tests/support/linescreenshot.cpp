// converter-line with a fixture of four slots, scanned by key presses: three verdicts and a unit
// still testing, saved as a picture.
//
//   line_screenshot OUTPUT.png PORT_A PORT_B PORT_C PORT_D

#include "linewindow.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("converter-line"));
    if (argc != 6) {
        std::fprintf(stderr, "usage: line_screenshot OUTPUT.png PORT_A PORT_B PORT_C PORT_D\n");
        return 2;
    }
    line::Options options;
    for (int i = 0; i < 4; ++i)
        options.positions.push_back({std::string(1, char('A' + i)), argv[2 + i]});
    options.run.noProtocols = true;
    options.run.polls = 4;
    line::LineWindow window(options, {"ada", "line-2", "converter-line", "", "", {}, {}}, {});
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return 1;
    const auto scan = [](const char *unit) {
        QTest::keyClicks(QApplication::focusWidget(), QString::fromLatin1(unit));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };
    scan("SN-1041");
    scan("SN-1042");
    scan("SN-1043");
    if (!QTest::qWaitFor(
            [&] {
                return !window.panel(2)->verdict()->accessibleDescription().startsWith(
                    QStringLiteral("TESTING"));
            },
            10000))
        return 1;
    scan("SN-1044");
    QTest::qWait(1200);
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
