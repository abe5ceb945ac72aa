#pragma once

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
    ~Bell();
    Bell(const Bell &) = delete;
    Bell &operator=(const Bell &) = delete;

    void ring();

private:
    ca_context *m_sounds = nullptr;
    bool m_soundsFailed = false;
};

} // namespace ui
