#include "platform/sync.h"

#include <chrono>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/kernel_object.h"

namespace plat::kernel {
namespace {

struct Table {
    std::mutex lock;
    std::condition_variable changed;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> objects;
    std::uintptr_t next = 1;
};

Table& TheTable() {
    // Never destroyed: worker threads may still touch handles while statics go away.
    static Table* t = new Table;
    return *t;
}

}  // namespace

std::mutex& Lock() {
    return TheTable().lock;
}
std::condition_variable& Changed() {
    return TheTable().changed;
}

HANDLE Insert(std::shared_ptr<Object> obj) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    std::uintptr_t id = t.next++;
    t.objects.emplace(id, std::move(obj));
    return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<Object> Find(HANDLE h) {
    auto& objs = TheTable().objects;
    auto it = objs.find(reinterpret_cast<std::uintptr_t>(h));
    return it == objs.end() ? nullptr : it->second;
}

bool Erase(HANDLE h) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    return t.objects.erase(reinterpret_cast<std::uintptr_t>(h)) != 0;
}

}  // namespace plat::kernel

using namespace plat;

HANDLE CreateManualEvent(BOOL bInitialState) {
    auto ev = std::make_shared<kernel::Event>();
    ev->signalled = bInitialState != 0;
    return kernel::Insert(std::move(ev));
}

namespace {

template <typename F>
BOOL ChangeEvent(HANDLE h, F change) {
    std::lock_guard<std::mutex> g(kernel::Lock());
    auto ev = kernel::FindAs<kernel::Event>(h);
    if (!ev) return FALSE;
    change(*ev);
    kernel::Changed().notify_all();
    return TRUE;
}

}  // namespace

BOOL SetEvent(HANDLE h) {
    return ChangeEvent(h, [](kernel::Event& e) { e.signalled = true; });
}

BOOL ResetEvent(HANDLE h) {
    return ChangeEvent(h, [](kernel::Event& e) { e.signalled = false; });
}

BOOL PulseEvent(HANDLE h) {
    // Waiters remember the pulse count when they start; a new count releases them.
    return ChangeEvent(h, [](kernel::Event& e) {
        e.signalled = false;
        ++e.pulses;
    });
}

BOOL CloseHandle(HANDLE h) {
    return kernel::Erase(h) ? TRUE : FALSE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD ms) {
    return WaitForMultipleObjects(1, &h, FALSE, ms);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL bWaitAll, DWORD ms) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) return WAIT_FAILED;
    std::unique_lock<std::mutex> g(kernel::Lock());
    std::vector<std::shared_ptr<kernel::Object>> objs(count);
    std::vector<std::uint64_t> since(count);
    for (DWORD i = 0; i < count; ++i) {
        objs[i] = kernel::Find(handles[i]);
        if (!objs[i]) return WAIT_FAILED;
        since[i] = objs[i]->PulseCount();
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    struct Waiting {
        std::vector<std::shared_ptr<kernel::Object>>& objs;
        explicit Waiting(std::vector<std::shared_ptr<kernel::Object>>& o) : objs(o) {
            for (auto& obj : objs)
                ++obj->waiters;
        }
        ~Waiting() {
            for (auto& obj : objs)
                --obj->waiters;
        }
    } waiting(objs);
    for (;;) {
        if (bWaitAll) {
            bool all = true;
            for (DWORD i = 0; i < count && all; ++i)
                all = objs[i]->IsSignalled(since[i]);
            if (all) return WAIT_OBJECT_0;
        } else {
            for (DWORD i = 0; i < count; ++i)
                if (objs[i]->IsSignalled(since[i])) return WAIT_OBJECT_0 + i;
        }
        if (ms == 0) return WAIT_TIMEOUT;
        if (ms == INFINITE) {
            kernel::Changed().wait(g);
        } else if (kernel::Changed().wait_until(g, deadline) == std::cv_status::timeout) {
            ms = 0;  // look once more, then time out
        }
    }
}

CEvent::CEvent(BOOL bInitiallySignalled) : m_hObject(CreateManualEvent(bInitiallySignalled)) {}

CEvent::~CEvent() {
    ::CloseHandle(m_hObject);
}

namespace plat {

int WaiterCount(HANDLE h) {
    std::lock_guard<std::mutex> g(kernel::Lock());
    auto obj = kernel::Find(h);
    return obj ? obj->waiters : -1;
}

}  // namespace plat

DWORD GetTickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(DWORD ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
