#pragma once

#include <QByteArray>
#include <optional>
#include <vector>

// Sets environment variables for the life of a test (libpq reads PGPASSFILE, PGSERVICEFILE,
// PGSSLMODE ... from the environment) and puts back what was there before.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ~ScopedEnv()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                qputenv(it->first.constData(), *it->second);
            else
                qunsetenv(it->first.constData());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void set(const char* name, const QByteArray& value)
    {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char* name)
    {
        remember(name);
        qunsetenv(name);
    }

private:
    void remember(const char* name)
    {
        m_saved.emplace_back(QByteArray(name),
                             qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt);
    }
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
};
