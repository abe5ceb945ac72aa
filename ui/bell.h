#pragma once

#include <QThreadPool>

#include <string>

struct ca_context;

namespace ui {

// The system beep. On X11 the X bell, which the desktop turns into its alert sound or a visual
// bell as the user set it up. Qt's beep does nothing on Wayland, so there the desktop's "bell"
// event sound is played through the sound server; without a sound server the bell stays silent
// and nothing else changes.
class Bell
{
public:
    Bell() = default;
    // The program the sound server names the sounds' client after.
    Bell(std::string applicationName, std::string applicationId)
        : m_name(std::move(applicationName)), m_id(std::move(applicationId))
    {}
    ~Bell();
    Bell(const Bell &) = delete;
    Bell &operator=(const Bell &) = delete;

    void ring();
    // One of the sound theme's event sounds ("complete", "dialog-error", ...) through the sound
    // server, on X11 and Wayland alike; silent without a sound server, and nothing else changes.
    // Played on a thread of its own: reaching the sound server, or failing to, can take tens of
    // milliseconds, and the window's thread keeps every slot's polls on time meanwhile. Both
    // texts outlive the bell: string literals.
    void play(const char *eventId, const char *description);

private:
    void playHere(const char *eventId, const char *description);

    std::string m_name, m_id;       // empty: the station's
    ca_context *m_sounds = nullptr; // the player's thread's alone
    bool m_soundsFailed = false;
    QThreadPool m_player; // one sound at a time, in order
};

} // namespace ui
