#include "support/scopedenv.h"

#include <QtGlobal>

ScopedEnv::ScopedEnv(const char* name, const QString& value)
    : m_name(name), m_old(qgetenv(name)), m_hadOld(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value.toUtf8());
}

ScopedEnv::ScopedEnv(const char* name)
    : m_name(name), m_old(qgetenv(name)), m_hadOld(qEnvironmentVariableIsSet(name)) {
    qunsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_hadOld)
        qputenv(m_name.constData(), m_old);
    else
        qunsetenv(m_name.constData());
}
