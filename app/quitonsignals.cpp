#include "quitonsignals.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ui {

namespace {

constexpr int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may only write to a descriptor; the rest happens in the event loop.
int signalPipe[2] = {-1, -1};

void onQuitSignal(int number)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitOnSignals::QuitOnSignals(QWidget *window) : m_window(window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitOnSignals::onSignal);
    struct sigaction action
    {};
    action.sa_handler = onQuitSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : quitSignals)
        ::sigaction(number, &action, nullptr);
}

QuitOnSignals::~QuitOnSignals()
{
    for (const int number : quitSignals)
        std::signal(number, SIG_DFL);
    for (int &descriptor : signalPipe) {
        if (descriptor >= 0)
            ::close(descriptor);
        descriptor = -1;
    }
}

void QuitOnSignals::onSignal()
{
    char drained[16];
    while (::read(signalPipe[1], drained, sizeof drained) > 0) {
    }
    m_quitRequested = true;
    // Closing the window releases the port (Form1::closeEvent) and, as the last window, ends the
    // event loop with status 0. Without a window on screen there is nothing to close.
    if (m_window && m_window->isVisible())
        m_window->close();
    else
        QCoreApplication::exit(0);
}

} // namespace ui
