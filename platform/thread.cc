#include "platform/thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/kernel_object.h"
#include "platform/sync.h"

namespace {

struct StartInfo {
    LPTHREAD_START_ROUTINE fn;
    void* param;
    std::shared_ptr<plat::kernel::Thread> self;
};

void* Trampoline(void* p) {
    std::unique_ptr<StartInfo> info(static_cast<StartInfo*>(p));
    DWORD code = info->fn(info->param);
    {
        std::lock_guard<std::mutex> g(plat::kernel::Lock());
        info->self->exitCode = code;
        info->self->finished = true;
        plat::kernel::Changed().notify_all();
    }
    return nullptr;
}

pid_t ThreadTid(HANDLE h) {
    std::lock_guard<std::mutex> g(plat::kernel::Lock());
    auto t = plat::kernel::FindAs<plat::kernel::Thread>(h);
    return (t && !t->finished) ? t->tid : 0;
}

}  // namespace

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

HANDLE CreateThread(LPTHREAD_START_ROUTINE fn, void* param, DWORD* threadId) {
    if (!fn) return nullptr;
    auto obj = std::make_shared<plat::kernel::Thread>();
    HANDLE h = plat::kernel::Insert(obj);
    auto* info = new StartInfo{fn, param, obj};

    // The thread id must be known before CreateThread returns, so that the caller can
    // set the priority at once: the new thread reports it before running `fn`.
    struct Handshake {
        StartInfo* info;
        pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
        pthread_cond_t c = PTHREAD_COND_INITIALIZER;
        bool ready = false;
    } hs{info};
    auto start = [](void* p) -> void* {
        auto* s = static_cast<Handshake*>(p);
        StartInfo* inf = s->info;
        {
            std::lock_guard<std::mutex> g(plat::kernel::Lock());
            inf->self->tid = static_cast<pid_t>(syscall(SYS_gettid));
        }
        pthread_mutex_lock(&s->m);
        s->ready = true;
        pthread_cond_signal(&s->c);
        pthread_mutex_unlock(&s->m);  // `s` is gone after this
        return Trampoline(inf);
    };

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t pt;
    int rc = pthread_create(&pt, &attr, start, &hs);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete info;
        CloseHandle(h);
        return nullptr;
    }
    pthread_mutex_lock(&hs.m);
    while (!hs.ready)
        pthread_cond_wait(&hs.c, &hs.m);
    pthread_mutex_unlock(&hs.m);
    if (threadId) *threadId = GetThreadId(h);
    return h;
}

BOOL GetExitCodeThread(HANDLE h, DWORD* exitCode) {
    std::lock_guard<std::mutex> g(plat::kernel::Lock());
    auto t = plat::kernel::FindAs<plat::kernel::Thread>(h);
    if (!t || !exitCode) return FALSE;
    *exitCode = t->finished ? t->exitCode : STILL_ACTIVE;
    return TRUE;
}

DWORD GetThreadId(HANDLE h) {
    std::lock_guard<std::mutex> g(plat::kernel::Lock());
    auto t = plat::kernel::FindAs<plat::kernel::Thread>(h);
    return t ? static_cast<DWORD>(t->tid) : 0;
}

BOOL SetThreadPriority(HANDLE h, int priority) {
    pid_t tid = ThreadTid(h);
    if (!tid) return FALSE;
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -priority) == 0 ? TRUE : FALSE;
}

int GetThreadPriority(HANDLE h) {
    pid_t tid = ThreadTid(h);
    if (!tid) return 0;
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return errno ? 0 : -nice;
}
