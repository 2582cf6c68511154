#pragma once

#include <QByteArray>
#include <QString>

// Sets an environment variable (or removes it) for a scope and puts the old value back
// at its end.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value);
    explicit ScopedEnv(const char* name); // removes the variable for the scope
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    QByteArray m_old;
    bool m_hadOld = false;
};
