#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace cli {

// Standard output for a program that must end promptly on a quit signal whatever its reader does.
// A write waits for the descriptor to take more, and for the signal descriptor (a signalfd) at
// the same time; it never blocks in write() itself, and it leaves the descriptor's flags alone,
// since other processes may share it.
class QuitAwareOutput
{
public:
    enum class Result {
        Written,
        Signalled, // a quit signal came first: signalNumber() says which
        TimedOut,  // the deadline passed with text still unwritten
        Failed,    // write() failed: error() holds errno (EPIPE: the reader is gone)
    };

    QuitAwareOutput(int descriptor, int signalDescriptor)
        : m_descriptor(descriptor), m_signalDescriptor(signalDescriptor)
    {}

    Result write(std::string_view text);
    // From now on a write gives up at `deadline`, and no longer watches for signals.
    void setDeadline(std::chrono::steady_clock::time_point deadline) { m_deadline = deadline; }

    int signalNumber() const { return m_signalNumber; }
    int error() const { return m_error; }

private:
    int m_descriptor;
    int m_signalDescriptor;
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    int m_signalNumber = 0;
    int m_error = 0;
};

} // namespace cli
