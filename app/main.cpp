#include "form1.h"
#include "identity.h"
#include "runstation.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char *usageText = R"(Usage: converter-station [--help | --version]
Tests a serial-line converter unit on one serial port, in a window: pick the port in "Comm Port"
and press Start Test. "Protocol.txt" is read from the current folder. Needs a desktop (X11 or
Wayland); converter-check tests units without one.

Options:
  --version  show the program's version
  --help     show this text
Qt's own options (such as -platform) are taken as well.
)";

// Qt ends the program with its own message when no platform can be had; without any display to
// talk to, the operator is told plainly instead.
bool hasDisplay()
{
    for (const char *name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usageText, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("converter-station %s\n", std::string(station::version).c_str());
            return 0;
        }
    }
    bool platformOption = false;
    for (int i = 1; i < argc; ++i)
        platformOption = platformOption || std::strcmp(argv[i], "-platform") == 0;
    if (!platformOption && !hasDisplay()) {
        std::fputs("converter-station: no desktop to show the window on: it needs X11 or Wayland "
                   "(neither DISPLAY nor WAYLAND_DISPLAY is set). To test a unit without one, use "
                   "converter-check.\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ui::applicationName));
    return ui::runStation();
}
