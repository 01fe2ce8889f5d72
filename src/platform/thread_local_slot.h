// vok::CThreadLocal<T>: one T per thread, made on first use in that thread and destroyed when the
// thread ends. Use it instead of a C++ thread_local for objects with destructors: with the
// mingw-w64 runtime the storage of thread_local objects is freed before their destructors run,
// which corrupts the heap at thread end. Windows keeps the objects in fiber-local storage (its
// callback runs first at thread end); Linux in a pthread key. Declare one at namespace scope.
#pragma once

#include <memory>

namespace vok {

// The untyped slot behind CThreadLocal.
class CThreadSlot {
 public:
  using Deleter = void (*)(void*);
  CThreadSlot();
  // Destroys the values still held (by any thread) and frees the slot.
  ~CThreadSlot();
  CThreadSlot(const CThreadSlot&) = delete;
  CThreadSlot& operator=(const CThreadSlot&) = delete;

  // The calling thread's value, or null.
  void* Value() const;
  // Stores the calling thread's value; `deleter` destroys it when the thread ends. False when the
  // slot could not be created (the caller still owns value then).
  bool SetValue(void* value, Deleter deleter);

 private:
  unsigned long m_index;
};

template <class T>
class CThreadLocal {
 public:
  // The calling thread's object, created on first use; null only when the system refused a slot.
  T* Get() {
    if (void* existing = m_slot.Value()) return static_cast<T*>(existing);
    auto created = std::make_unique<T>();
    if (!m_slot.SetValue(created.get(), [](void* p) { delete static_cast<T*>(p); })) return nullptr;
    return created.release();
  }
  // The calling thread's object if it has been created.
  T* Peek() const { return static_cast<T*>(m_slot.Value()); }

 private:
  CThreadSlot m_slot;
};

}  // namespace vok
