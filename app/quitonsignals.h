#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

namespace ui {

// Turns SIGTERM, SIGINT and SIGHUP (logging out, systemctl stop, Ctrl+C, kill) into the same
// orderly quit as closing the window, so the port is released: its lock file removed and its
// exclusive-open flag cleared. Without this each signal ends the process on the spot, and a
// restarted station can find its own port refused as busy. One per process.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QWidget *window);
    ~QuitOnSignals() override;

    // True once a signal came: one that interrupts the start-up message must still end the
    // program rather than let the window open after it.
    bool isQuitRequested() const { return m_quitRequested; }

private:
    void onSignal();

    QPointer<QWidget> m_window;
    QSocketNotifier *m_notifier = nullptr;
    bool m_quitRequested = false;
};

} // namespace ui
