#include "singleinstance.h"

SingleInstance::SingleInstance(const QByteArray &key)
    : m_backend(createSingleInstanceBackend(key))
{
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    // The window system's own variables: the toolkit reads and clears them
    // when it connects, and a window shown later takes them from there.
    return m_backend->claim(qgetenv("DESKTOP_STARTUP_ID"), qgetenv("XDG_ACTIVATION_TOKEN"));
}

void SingleInstance::listen()
{
    m_backend->listen(this);
}
