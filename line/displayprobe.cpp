#include "displayprobe.h"

#include <QGuiApplication>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace line {

std::optional<std::string> displayProblem(int argc, char **argv)
{
    bool named = false;
    for (int i = 1; i < argc; ++i)
        named = named || std::strcmp(argv[i], "-platform") == 0;
    for (const char *name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"})
        if (const char *value = std::getenv(name); value && *value)
            named = true;
    if (!named)
        return "no desktop to show the window on: it needs X11 or Wayland (neither DISPLAY nor "
               "WAYLAND_DISPLAY is set)";
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt; // no way to know: Qt itself says so if it cannot
    if (child == 0) {
        // Qt's own complaint is not the operator's concern: the parent says it plainly.
        if (const int quiet = ::open("/dev/null", O_WRONLY); quiet >= 0)
            ::dup2(quiet, STDERR_FILENO);
        QGuiApplication application(argc, argv);
        ::_exit(0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return "the display did not answer in 10 s";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return std::nullopt;
    const char *display = std::getenv("WAYLAND_DISPLAY");
    if (!display || !*display)
        display = std::getenv("DISPLAY");
    return std::string("cannot show a window on the display \"") + (display ? display : "") +
           "\": it does not answer or refuses the connection";
}

} // namespace line
