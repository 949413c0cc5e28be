#include "support/privatelockdir.h"

#include <QFile>

PrivateLockDir::PrivateLockDir()
    : m_saved(qgetenv("KELVORA_LOCK_DIR")), m_wasSet(qEnvironmentVariableIsSet("KELVORA_LOCK_DIR"))
{
    qputenv("KELVORA_LOCK_DIR", QFile::encodeName(m_dir.path()));
}

PrivateLockDir::~PrivateLockDir()
{
    if (m_wasSet)
        qputenv("KELVORA_LOCK_DIR", m_saved);
    else
        qunsetenv("KELVORA_LOCK_DIR");
}
