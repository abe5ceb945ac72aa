#include "quitawareoutput.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace cli {

QuitAwareOutput::Result QuitAwareOutput::write(std::string_view text)
{
    while (!text.empty()) {
        int timeoutMs = -1;
        if (m_deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *m_deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return Result::TimedOut;
            timeoutMs = static_cast<int>(left.count());
        }
        pollfd watched[2] = {{m_descriptor, POLLOUT, 0}, {m_signalDescriptor, POLLIN, 0}};
        const nfds_t count = m_deadline || m_signalDescriptor < 0 ? 1 : 2;
        const int ready = ::poll(watched, count, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            m_error = errno;
            return Result::Failed;
        }
        if (ready <= 0)
            continue; // interrupted, or the deadline: the next turn tells which
        if (count == 2 && (watched[1].revents & POLLIN)) {
            signalfd_siginfo info{};
            if (::read(m_signalDescriptor, &info, sizeof info) == sizeof info) {
                m_signalNumber = static_cast<int>(info.ssi_signo);
                return Result::Signalled;
            }
        }
        if (watched[0].revents == 0)
            continue;
        // A pipe that polls writable takes PIPE_BUF bytes without blocking.
        const ssize_t written =
            ::write(m_descriptor, text.data(), std::min<std::size_t>(text.size(), PIPE_BUF));
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            m_error = errno;
            return Result::Failed;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return Result::Written;
}

} // namespace cli
