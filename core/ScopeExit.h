// Runs a function when a scope ends, on every way out, a failure included.
#pragma once

#include <utility>

namespace twinspotter {

/// The core's one scope guard, as qScopeGuard is the window's: `const ScopeExit ended([&] { busy = false; });`
template <typename Function> class [[nodiscard]] ScopeExit
{
public:
    explicit ScopeExit(Function function) : m_function(std::move(function)) {}
    ~ScopeExit() { m_function(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Function m_function;
};

} // namespace twinspotter
