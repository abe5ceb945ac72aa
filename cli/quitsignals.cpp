#include "quitsignals.h"

#include <csignal>
#include <initializer_list>
#include <sys/signalfd.h>

namespace cli {

int quitSignalDescriptor()
{
    sigset_t quitSignals;
    ::sigemptyset(&quitSignals);
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaddset(&quitSignals, number);
    ::pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
    return ::signalfd(-1, &quitSignals, SFD_CLOEXEC | SFD_NONBLOCK);
}

} // namespace cli
