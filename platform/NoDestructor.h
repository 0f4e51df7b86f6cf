// Storage for a process-wide object that must stay usable until the process is gone: threads that
// the process does not join (or cannot join in time) may still touch it while static destructors
// run.
#pragma once

#include <new>
#include <utility>

namespace platform {

template <typename T>
class NoDestructor {
  public:
    template <typename... Args>
    explicit NoDestructor(Args&&... args) {
        new (storage_) T(std::forward<Args>(args)...);
    }
    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;

    T& operator*() { return *get(); }
    T* operator->() { return get(); }
    T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }

  private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace platform
