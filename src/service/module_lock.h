// The library's lock count: every live object of the library (service objects, single-quote sinks)
// and every class-factory lock holds one, and the library may be unloaded only at zero.
#pragma once

namespace vok {

void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

// Holds one module lock for its lifetime: a member of every object the library hands out.
class CModuleLockHolder {
 public:
  CModuleLockHolder() { ModuleLock(); }
  CModuleLockHolder(const CModuleLockHolder&) : CModuleLockHolder() {}
  CModuleLockHolder& operator=(const CModuleLockHolder&) = default;
  ~CModuleLockHolder() { ModuleUnlock(); }
};

}  // namespace vok
