// Sets an environment variable for a scope and puts the old value back afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace twinspotter::test {

/// Sets an environment variable for the object's life.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        set(name, value.c_str());
    }
    ~ScopedEnvironment()
    {
        if (m_old)
            set(m_name, m_old->c_str());
        else
            unset(m_name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    // The C library's own environment, which getenv reads; on Windows an empty value removes the variable.
    static void set(const char* name, const char* value)
    {
#ifdef _WIN32
        ::_putenv_s(name, value);
#else
        ::setenv(name, value, 1);
#endif
    }
    static void unset(const char* name)
    {
#ifdef _WIN32
        ::_putenv_s(name, "");
#else
        ::unsetenv(name);
#endif
    }

    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace twinspotter::test
