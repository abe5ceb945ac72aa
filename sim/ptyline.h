#pragma once

#include "simoptions.h"

#include <string>

namespace sim {

// The unit's end of the serial line: a pty pair it creates (with a symlink to it at --link), or a
// real serial device given with --device.
class PtyLine
{
public:
    explicit PtyLine(const Options &options) : m_options(options) {}
    ~PtyLine() { close(true); }
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    // Opens the line, or a new pty after a hang-up; exits the program when it cannot.
    void open();
    void close(bool removeLink);

    int descriptor() const { return m_io; }
    const std::string &path() const { return m_path; }
    // What an operator types into "Comm Port": the link if there is one, else the device.
    std::string typeIn() const { return m_options.link.empty() ? m_path : m_options.link; }

private:
    static bool isLinkOfOurs(const std::string &path);

    const Options &m_options;
    int m_io = -1;
    int m_slave = -1;
    std::string m_path;
};

} // namespace sim
