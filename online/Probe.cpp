// The connectivity probe: the offline test, then an echo from each probe host in turn. The system's side (offline
// test, look-up, echo) sits in posix/Probe.cpp or windows/Probe.cpp.
#include "online/Probe.h"

#include "online/ProbeWait.h"
#include "online/Waiting.h"

#include <stdexcept>

namespace twinspotter {

// The probe's waits are bounded by themselves; a budget used up ends the probe as if no host had answered.
void afterSlice(std::chrono::steady_clock::duration waited)
{
    OnlineAction* action = OnlineAction::current();
    if (!action)
        return;
    action->spend(waited);
    if (action->exhausted())
        throw std::runtime_error("the action's time is used up");
    action->service();
}

bool internetAvailable()
{
    return internetAvailable(ProbeSetup{});
}

bool internetAvailable(const ProbeSetup& setup)
{
    try {
        OfflineTestFunction inetIsOffline;
        if (!loadLibFunction(setup.offlineTestLibrary, kOfflineTestFunction, inetIsOffline))
            return false;
        if (inetIsOffline(0) != 0)
            return false;
        for (const auto& host : setup.hosts)
            if (setup.ping(host))
                return true;
    } catch (const WaitCancelled&) {
        throw;
    } catch (...) {
    }
    return false;
}

} // namespace twinspotter
