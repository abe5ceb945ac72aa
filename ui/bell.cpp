#include "bell.h"

#include "identity.h"

#include <QApplication>

#include <canberra.h>

namespace ui {

Bell::~Bell()
{
    m_player.waitForDone();
    if (m_sounds)
        ca_context_destroy(m_sounds);
}

void Bell::ring()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QApplication::beep();
        return;
    }
    play("bell", "A line test failed");
}

void Bell::play(const char *eventId, const char *description)
{
    m_player.setMaxThreadCount(1);
    m_player.start([this, eventId, description] { playHere(eventId, description); });
}

void Bell::playHere(const char *eventId, const char *description)
{
    if (!m_sounds && !m_soundsFailed) {
        m_soundsFailed =
            ca_context_create(&m_sounds) != CA_SUCCESS ||
            ca_context_change_props(
                m_sounds, CA_PROP_APPLICATION_NAME,
                m_name.empty() ? station::applicationName.data() : m_name.c_str(),
                CA_PROP_APPLICATION_ID, m_id.empty() ? station::desktopId.data() : m_id.c_str(),
                nullptr) != CA_SUCCESS;
    }
    if (m_soundsFailed || !m_sounds)
        return;
    // Asynchronous: the sound plays on while the station goes on.
    ca_context_play(m_sounds, 0, CA_PROP_EVENT_ID, eventId, CA_PROP_EVENT_DESCRIPTION, description,
                    nullptr);
}

} // namespace ui
