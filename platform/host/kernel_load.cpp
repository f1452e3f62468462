// Other programs taking the processor. Every device thread runs on a host
// thread of its own and virtual time moves only while all of them wait, so
// work done by one program never delays another in device time. Tests that
// need a busy processor (late timer arrivals) hold one thread back instead.

#include "user_private.h"
#include "kernel.h"

namespace dev {

void StallThread(DWORD threadId, uint32_t milliseconds)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Thread *t = FindThread(threadId);
    if (!t || t->finished) return;
    // WM_TIMER is made when the thread fetches; held back, it fetches late.
    uint64_t until = Now() + milliseconds;
    for (Timer *timer : t->timers)
        if (timer->due < until) timer->due = until;
    // Waiting for messages, it would wake at the old time only to find none.
    if (t->waiting && t->inMessageWait) t->deadline = NextTimerDue(t);
}

} // namespace dev
