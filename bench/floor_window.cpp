// The floors the station's start-up is measured against: an empty 423 x 361 window, the same
// window with one label ("label" as the first argument), or with one editable drop-down list
// ("combo"), the one control of the station that costs more than a label.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(423, 361);
    if (argc > 1 && QByteArray(argv[1]) == "label") {
        auto *label = new QLabel(QStringLiteral("Protocol"), &window);
        label->setGeometry(16, 16, 49, 17);
    }
    if (argc > 1 && QByteArray(argv[1]) == "combo") {
        auto *combo = new QComboBox(&window);
        combo->setEditable(true);
        combo->setGeometry(288, 80, 73, 21);
    }
    window.show();
    return application.exec();
}
