#include "bell.h"

#include "identity.h"

#include <QApplication>

#include <canberra.h>

namespace ui {

Bell::~Bell()
{
    if (m_sounds)
        ca_context_destroy(m_sounds);
}

void Bell::ring()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QApplication::beep();
        return;
    }
    if (!m_sounds && !m_soundsFailed) {
        m_soundsFailed =
            ca_context_create(&m_sounds) != CA_SUCCESS ||
            ca_context_change_props(m_sounds, CA_PROP_APPLICATION_NAME,
                                    station::applicationName.data(), CA_PROP_APPLICATION_ID,
                                    station::desktopId.data(), nullptr) != CA_SUCCESS;
    }
    if (m_soundsFailed || !m_sounds)
        return;
    // Asynchronous: the sound plays on while the station goes on.
    ca_context_play(m_sounds, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION,
                    "A line test failed", nullptr);
}

} // namespace ui
