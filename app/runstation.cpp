#include "runstation.h"

#include "identity.h"

#include "quitonsignals.h"

#include <QApplication>
#include <QTimer>

#include <cstdlib>

namespace ui {

namespace {

Form1 *liveForm = nullptr;

// A lost display connection makes the platform plugin call exit() from the event loop, past
// every destructor: release the port on the way out all the same.
void releasePortAtExit()
{
    if (liveForm)
        liveForm->portController().ClosePort();
}

} // namespace

int runStation(const std::function<void(Form1 &)> &shown)
{
    // The desktop entry's name: Wayland docks match the window to the entry, and its icon, by it.
    QGuiApplication::setDesktopFileName(
        QString::fromUtf8(station::desktopId.data(), station::desktopId.size()));
    ResultField::installAccessibility();
    Form1 form;
    QuitOnSignals quitOnSignals(&form);
    if (!form.load() || quitOnSignals.isQuitRequested())
        return 0;
    static const bool registered = std::atexit(releasePortAtExit) == 0;
    (void)registered;
    liveForm = &form;
    form.show();
    if (shown)
        QTimer::singleShot(0, &form, [&] { shown(form); });
    const int status = QApplication::exec();
    liveForm = nullptr;
    return status;
}

} // namespace ui
