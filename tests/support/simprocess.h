#pragma once

// The simulated converter unit, run as its own process on a pty it creates.

#include <QProcess>
#include <QStringList>

#include <string>

namespace support {

class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments)
    {
        m_process.setProgram(QStringLiteral(CONVERTER_SIM_PATH));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000))
            m_path = m_process.readLine().trimmed().toStdString();
    }
    ~SimProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // What an operator types into "Comm Port": the symlink if one was asked for, else the pty.
    const std::string &path() const { return m_path; }

private:
    QProcess m_process;
    std::string m_path;
};

} // namespace support
