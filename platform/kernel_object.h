// Internal to platform/: the process-wide table of waitable objects behind HANDLEs.
// One lock and one condition variable serve every object, so waits on several
// objects of different kinds are simple and exact.
#pragma once

#include <sys/types.h>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/types.h"

namespace plat::kernel {

struct Object {
    int waiters = 0;  // threads inside a wait on this object
    virtual ~Object() = default;
    // Signalled state as seen by a waiter that began waiting at pulse count `since`.
    virtual bool IsSignalled(std::uint64_t since) const = 0;
    virtual std::uint64_t PulseCount() const { return 0; }
};

struct Event : Object {
    bool signalled = false;
    std::uint64_t pulses = 0;
    bool IsSignalled(std::uint64_t since) const override { return signalled || pulses != since; }
    std::uint64_t PulseCount() const override { return pulses; }
};

struct Thread : Object {
    bool finished = false;
    DWORD exitCode = 0;
    pid_t tid = 0;
    bool IsSignalled(std::uint64_t) const override { return finished; }
};

// An open file; the descriptor is closed when the last reference goes.
struct File : Object {
    int fd = -1;
    ~File() override;
    bool IsSignalled(std::uint64_t) const override { return true; }
};

// The lock guarding every object's state, and the condition that is notified
// whenever any object's state changes.
std::mutex& Lock();
std::condition_variable& Changed();

// Registers an object and returns its new handle (never 0).
HANDLE Insert(std::shared_ptr<Object> obj);
// The object behind a handle, or null. Caller holds Lock().
std::shared_ptr<Object> Find(HANDLE h);
// Removes a handle from the table (takes Lock() itself); false when unknown.
bool Erase(HANDLE h);
template <typename T>
std::shared_ptr<T> FindAs(HANDLE h) {
    return std::dynamic_pointer_cast<T>(Find(h));
}

}  // namespace plat::kernel
