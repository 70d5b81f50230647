#include "platform/fault.h"

#include <setjmp.h>
#include <signal.h>

#include <cstdlib>
#include <mutex>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction g_previous[sizeof(kSignals) / sizeof(kSignals[0])];

thread_local sigjmp_buf* t_jump = nullptr;
thread_local volatile sig_atomic_t t_signal = 0;

int SignalIndex(int sig) {
    for (int i = 0; i < int(sizeof(kSignals) / sizeof(kSignals[0])); ++i)
        if (kSignals[i] == sig) return i;
    return -1;
}

void OnFault(int sig, siginfo_t* info, void* context) {
    if (t_jump) {
        t_signal = sig;
        siglongjmp(*t_jump, 1);
    }
    // Not a guarded thread: hand the fault to whoever handled it before us.
    int i = SignalIndex(sig);
    const struct sigaction& prev = g_previous[i];
    if (prev.sa_flags & SA_SIGINFO) {
        if (prev.sa_sigaction) return prev.sa_sigaction(sig, info, context);
    } else if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN) {
        return prev.sa_handler(sig);
    }
    // Default effect: restore it; returning re-runs the faulting instruction (or, for a
    // signal that was sent rather than raised by a fault, raise it again).
    signal(sig, SIG_DFL);
    if (info && info->si_code <= 0) raise(sig);
}

void InstallHandlers() {
    for (int i = 0; i < int(sizeof(kSignals) / sizeof(kSignals[0])); ++i) {
        struct sigaction sa = {};
        sa.sa_sigaction = OnFault;
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        sigaction(kSignals[i], &sa, &g_previous[i]);
    }
}

}  // namespace

bool CallWithFaultGuard(DWORD (*fn)(void*), void* arg, DWORD* result, int* faultSignal) {
    static std::once_flag once;
    std::call_once(once, InstallHandlers);

    // A stack overflow cannot run the handler on the faulting stack: give this thread
    // an alternate one for the duration of the call.
    constexpr size_t kAltStack = 64 * 1024;
    stack_t alt = {}, oldAlt = {};
    alt.ss_sp = std::malloc(kAltStack);
    alt.ss_size = kAltStack;
    bool haveAlt = alt.ss_sp && sigaltstack(&alt, &oldAlt) == 0;

    sigjmp_buf env;
    sigjmp_buf* volatile outer = t_jump;
    volatile bool ok = false;
    if (sigsetjmp(env, 1) == 0) {
        t_jump = &env;
        DWORD r = fn(arg);
        if (result) *result = r;
        ok = true;
    } else if (faultSignal) {
        *faultSignal = t_signal;
    }
    t_jump = outer;

    if (haveAlt) sigaltstack(&oldAlt, nullptr);
    std::free(alt.ss_sp);
    return ok;
}
