#include "form1.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ui::applicationName));

    ui::Form1 form;
    if (!form.load())
        return 0;
    form.show();
    return application.exec();
}
