// The library's lock count behind DllCanUnloadNow.
#include "service/module_lock.h"

#include <atomic>

namespace vok {
namespace {
std::atomic<long> g_lockCount{0};
}  // namespace

void ModuleLock() { g_lockCount.fetch_add(1, std::memory_order_relaxed); }
void ModuleUnlock() { g_lockCount.fetch_sub(1, std::memory_order_relaxed); }
long ModuleLockCount() { return g_lockCount.load(std::memory_order_relaxed); }

}  // namespace vok
