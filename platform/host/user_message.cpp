// Message queues, sending and posting, the message loop's fetch, timers and
// the default window procedure.
//
// Each device thread has one queue. A thread fetching messages takes, in
// this order: messages sent to it by other threads (handled inside the
// fetch, never returned), posted messages, stylus input, WM_QUIT once
// nothing is posted, WM_PAINT for one of its windows with something to
// paint, and WM_TIMER for a due timer. WM_TIMER is made at the fetch, so a
// timer has at most one arrival waiting however long its thread was busy,
// and its next arrival is due one period after the one it just made.
//
// A message sent to another thread's window waits until that thread fetches
// messages (or waits for a reply of its own); meanwhile the sender answers
// what is sent to it. A thread that stops fetching therefore hangs everyone
// who sends to it, as on the device.
//
// Not implemented: ReplyMessage, InSendMessage, message hooks, keyboard
// input (TranslateMessage has nothing to translate), QS_* wake masks.

#include "user_private.h"
#include "kernel.h"
#include "user.h"

#include <algorithm>
#include <cstring>

namespace dev {

namespace {

typedef std::lock_guard<std::recursive_mutex> Lock;

bool InRange(UINT message, UINT low, UINT high)
{
    return (low == 0 && high == 0) || (message >= low && message <= high);
}

bool ForFilter(HWND window, HWND filter)
{
    if (!filter) return true;
    if (filter == (HWND)(LONG_PTR)-1) return window == nullptr; // thread messages only
    if (window == filter) return true;
    Window *f = W(filter), *w = W(window);
    if (!f || !w) return false;
    for (w = w->parent; w; w = w->parent)
        if (w == f) return true;
    return false;
}

POINT Cursor()
{
    return U().cursor;
}

void Answer(const std::shared_ptr<SentMessage> &sm, LRESULT result)
{
    sm->result = result;
    sm->done = true;
    if (sm->sender)
        Wake(sm->sender);
    else
        NotifyHosts();
}

// Handle one message sent to the calling thread by another thread.
void HandleOneSent(Thread *t)
{
    std::shared_ptr<SentMessage> sm = t->sent.front();
    t->sent.pop_front();
    LRESULT result = 0;
    if (Window *w = W(sm->window)) {
        LPARAM lParam = sm->lParam;
        if (sm->message == WM_WINDOWPOSCHANGING || sm->message == WM_WINDOWPOSCHANGED) {
            if (!lParam) lParam = (LPARAM)&sm->pos;
        }
        result = CallProc(w, sm->message, sm->wParam, lParam);
    }
    Answer(sm, result);
}

// Stops a wait for a reply that will not be read.
struct Abandon {
    std::shared_ptr<SentMessage> sm;
    Thread *target;
    ~Abandon()
    {
        if (sm->done) return;
        sm->abandoned = true;
        sm->sender = nullptr;
        auto &q = target->sent;
        q.erase(std::remove(q.begin(), q.end(), sm), q.end());
    }
};

// Cross-thread send; false when the deadline passed first.
bool SendAcross(Window *w, UINT message, WPARAM wParam, LPARAM lParam, uint64_t deadline, LRESULT *result)
{
    Thread *me = CurrentThread();
    Thread *target = w->thread;
    *result = 0;
    if (target->finished || target->tearingDown) return true;
    auto sm = std::make_shared<SentMessage>();
    sm->window = w->handle;
    sm->message = message;
    sm->wParam = wParam;
    sm->lParam = lParam;
    sm->sender = me;
    target->sent.push_back(sm);
    Wake(target);
    Abandon guard{sm, target};
    for (;;) {
        if (sm->done) {
            *result = sm->result;
            return true;
        }
        if (me) {
            if (!me->sent.empty()) {
                HandleOneSent(me);
                continue;
            }
            if (me->tearingDown) return true;
        }
        if (deadline != kNoDeadline && Now() >= deadline) return false;
        if (me) me->sendDepth++;
        struct Depth {
            Thread *t;
            ~Depth()
            {
                if (t) t->sendDepth--;
            }
        } depth{me};
        BlockCurrent(deadline);
    }
}

void PushPosted(Thread *t, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{window, message, wParam, lParam, TickOf(Now()), Cursor()};
    t->posted.push_back(msg);
    Wake(t);
}

Timer *DueTimer(Thread *t, HWND filter, UINT low, UINT high, uint64_t now)
{
    if (!InRange(WM_TIMER, low, high)) return nullptr;
    Timer *best = nullptr;
    for (Timer *timer : t->timers) {
        if (timer->due > now || !ForFilter(timer->window, filter)) continue;
        if (!best || timer->due < best->due) best = timer;
    }
    return best;
}

// One pass over the queue; true with *msg filled when a message was found.
bool TakeMessage(Thread *t, MSG *msg, HWND filter, UINT low, UINT high, UINT flags)
{
    bool remove = (flags & PM_REMOVE) != 0;
    t->lastPump = Now();
    while (!t->sent.empty())
        HandleOneSent(t);

    for (auto it = t->posted.begin(); it != t->posted.end(); ++it) {
        if (!InRange(it->message, low, high) || !ForFilter(it->hwnd, filter)) continue;
        *msg = *it;
        if (remove) t->posted.erase(it);
        t->lastMessageTime = msg->time;
        return true;
    }

    if (!t->input.empty()) {
        CookInput(t);
        while (!t->sent.empty())
            HandleOneSent(t);
    }
    for (auto it = t->cookedInput.begin(); it != t->cookedInput.end(); ++it) {
        if (!InRange(it->message, low, high) || !ForFilter(it->hwnd, filter)) continue;
        *msg = *it;
        if (remove) t->cookedInput.erase(it);
        t->lastMessageTime = msg->time;
        return true;
    }

    if (t->quit && InRange(WM_QUIT, low, high)) {
        *msg = MSG{nullptr, WM_QUIT, (WPARAM)t->quitCode, 0, TickOf(Now()), Cursor()};
        if (remove) t->quit = false;
        t->lastMessageTime = msg->time;
        return true;
    }

    // Every fetch passes here, mostly with nothing to paint: the thread's
    // mark first, then the cheap test of each window.
    if (InRange(WM_PAINT, low, high) && t->mayPaint) {
        bool dirty = false;
        for (size_t i = 0; i < t->windows.size(); i++) {
            Window *w = t->windows[i];
            if (!w->frameDirty && !HasUpdate(w)) continue;
            dirty = true;
            if (!IsVisible(w) || !ForFilter(w->handle, filter)) continue;
            if (w->frameDirty) {
                w->frameDirty = false;
                HWND handle = w->handle;
                SendLocked(handle, WM_NCPAINT, 1, 0);
                i = (size_t)-1; // the list may have changed under the call
                dirty = false;
                continue;
            }
            if (HasUpdate(w)) {
                // WM_PAINT stays until the window validates itself.
                *msg = MSG{w->handle, WM_PAINT, 0, 0, TickOf(Now()), Cursor()};
                t->lastMessageTime = msg->time;
                return true;
            }
        }
        if (!dirty) t->mayPaint = false; // a whole look found nothing
    }

    uint64_t now = Now();
    if (Timer *timer = DueTimer(t, filter, low, high, now)) {
        *msg = MSG{timer->window, WM_TIMER, timer->id, (LPARAM)timer->proc, TickOf(now), Cursor()};
        if (remove) timer->due = now + timer->period;
        t->lastMessageTime = msg->time;
        return true;
    }
    return false;
}

// When the next WM_TIMER a fetch with this filter could take is due, or
// kNoDeadline. A fetch that waits for its own messages only (a close box
// being tracked) must not wake for a timer it cannot take: it would find
// nothing, wait again until the same past due time and spin, holding the
// device from every other thread. Such timers are not lost; WM_TIMER is made
// at the fetch, so the next unfiltered fetch takes them.
uint64_t NextTimerDueFor(Thread *t, HWND filter, UINT low, UINT high)
{
    if (!InRange(WM_TIMER, low, high)) return kNoDeadline;
    uint64_t next = kNoDeadline;
    for (Timer *timer : t->timers)
        if (timer->due < next && ForFilter(timer->window, filter)) next = timer->due;
    return next;
}

bool Anything(Thread *t)
{
    if (!t->posted.empty() || !t->input.empty() || !t->cookedInput.empty() || t->quit) return true;
    if (t->mayPaint)
        for (Window *w : t->windows)
            if ((w->frameDirty || HasUpdate(w)) && IsVisible(w)) return true;
    return NextTimerDue(t) <= Now();
}

} // namespace

LRESULT CallProc(Window *w, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc = w->proc;
    HWND handle = w->handle;
    if (!proc) return 0;
    Unlocked unlocked;
    return proc(handle, message, wParam, lParam);
}

LRESULT SendLocked(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window *w = W(window);
    if (!w) {
        SetLastError(1400); // ERROR_INVALID_WINDOW_HANDLE
        return 0;
    }
    if (w->thread == CurrentThread()) return CallProc(w, message, wParam, lParam);
    LRESULT result;
    SendAcross(w, message, wParam, lParam, kNoDeadline, &result);
    return result;
}

void Notify(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window *w = W(window);
    if (!w) return;
    if (w->thread == CurrentThread()) {
        CallProc(w, message, wParam, lParam);
        return;
    }
    if (w->thread->finished || w->thread->tearingDown) return;
    auto sm = std::make_shared<SentMessage>();
    sm->window = window;
    sm->message = message;
    sm->wParam = wParam;
    sm->lParam = lParam;
    sm->sender = nullptr;
    w->thread->sent.push_back(sm);
    Wake(w->thread);
}

void NotifyPos(HWND window, UINT message, const WINDOWPOS &pos)
{
    Window *w = W(window);
    if (!w || w->thread->finished || w->thread->tearingDown) return;
    auto sm = std::make_shared<SentMessage>();
    sm->window = window;
    sm->message = message;
    sm->wParam = 0;
    sm->lParam = 0; // HandleOneSent points it at the record below
    sm->pos = pos;
    sm->sender = nullptr;
    w->thread->sent.push_back(sm);
    Wake(w->thread);
}

uint64_t NextTimerDue(Thread *t)
{
    if (t->inMessageWait) return NextTimerDueFor(t, t->waitWindow, t->waitLow, t->waitHigh);
    return NextTimerDueFor(t, nullptr, 0, 0);
}

void KillWindowTimers(HWND window)
{
    Window *w = W(window);
    if (!w) return;
    auto &timers = w->thread->timers;
    for (auto it = timers.begin(); it != timers.end();) {
        if ((*it)->window == window) {
            delete *it;
            it = timers.erase(it);
        } else {
            ++it;
        }
    }
}

void ReleaseThreadQueue(Thread *t)
{
    t->mayPaint = false;
    while (!t->sent.empty()) {
        std::shared_ptr<SentMessage> sm = t->sent.front();
        t->sent.pop_front();
        Answer(sm, 0);
    }
    for (Timer *timer : t->timers)
        delete timer;
    t->timers.clear();
    t->posted.clear();
    t->input.clear();
    t->cookedInput.clear();
}

} // namespace dev

using namespace dev;

// ------------------------------------------------------------- sending

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Lock lock(BigLock());
    CheckTerminate();
    return SendLocked(window, message, wParam, lParam);
}

LRESULT SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeout,
                            PDWORD_PTR result)
{
    Lock lock(BigLock());
    CheckTerminate();
    Window *w = WindowOrError(window);
    if (!w) return 0;
    LRESULT answer = 0;
    if (w->thread == CurrentThread()) {
        answer = CallProc(w, message, wParam, lParam);
    } else {
        Thread *target = w->thread;
        // "Hung" as the platform judges it: not fetching for five seconds.
        if ((flags & SMTO_ABORTIFHUNG) && !target->inMessageWait && target->sendDepth == 0 &&
            Now() - target->lastPump > 5000) {
            SetLastError(1460); // ERROR_TIMEOUT
            return 0;
        }
        uint64_t deadline = Now() + timeout;
        if (!SendAcross(w, message, wParam, lParam, deadline, &answer)) {
            SetLastError(1460);
            return 0;
        }
    }
    if (result) *result = (DWORD_PTR)answer;
    return 1;
}

// ------------------------------------------------------------- posting

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Lock lock(BigLock());
    CheckTerminate();
    if (!window) {
        Thread *t = CurrentThread();
        if (!t) return FALSE;
        PushPosted(t, nullptr, message, wParam, lParam);
        return TRUE;
    }
    Window *w = W(window);
    if (!w || w->thread->finished) {
        SetLastError(1400);
        return FALSE;
    }
    PushPosted(w->thread, window, message, wParam, lParam);
    return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    Lock lock(BigLock());
    CheckTerminate();
    Thread *t = FindThread(threadId);
    if (!t || t->finished) {
        SetLastError(1444); // ERROR_INVALID_THREAD_ID
        return FALSE;
    }
    PushPosted(t, nullptr, message, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    Lock lock(BigLock());
    Thread *t = CurrentThread();
    if (!t) return;
    t->quit = true;
    t->quitCode = exitCode;
}

// ------------------------------------------------------------ fetching

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax)
{
    Lock lock(BigLock());
    CheckTerminate();
    Thread *t = CurrentThread();
    if (!msg || !t || (window && window != (HWND)(LONG_PTR)-1 && !W(window))) {
        SetLastError(1400);
        return -1;
    }
    for (;;) {
        if (TakeMessage(t, msg, window, filterMin, filterMax, PM_REMOVE)) return msg->message != WM_QUIT;
        if (t->tearingDown) {
            *msg = MSG{nullptr, WM_QUIT, 0, 0, TickOf(Now()), Cursor()};
            return FALSE;
        }
        t->inMessageWait = true;
        t->waitWindow = window;
        t->waitLow = filterMin;
        t->waitHigh = filterMax;
        struct Flag {
            Thread *t;
            ~Flag()
            {
                t->inMessageWait = false;
                t->waitWindow = nullptr;
                t->waitLow = t->waitHigh = 0;
            }
        } flag{t};
        BlockCurrent(NextTimerDue(t));
    }
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    Lock lock(BigLock());
    CheckTerminate();
    Thread *t = CurrentThread();
    if (!msg || !t) return FALSE;
    return TakeMessage(t, msg, window, filterMin, filterMax, removeFlags) ? TRUE : FALSE;
}

BOOL WaitMessage(void)
{
    Lock lock(BigLock());
    CheckTerminate();
    Thread *t = CurrentThread();
    if (!t) return FALSE;
    while (!t->sent.empty())
        HandleOneSent(t);
    if (Anything(t) || t->tearingDown) return TRUE;
    t->inMessageWait = true;
    BlockCurrent(NextTimerDue(t));
    t->inMessageWait = false;
    return TRUE;
}

BOOL TranslateMessage(const MSG *)
{
    return FALSE;
}

LRESULT DispatchMessageW(const MSG *msg)
{
    Lock lock(BigLock());
    CheckTerminate();
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        TIMERPROC proc = (TIMERPROC)msg->lParam;
        // Only a timer that still exists with this procedure runs it.
        bool live = false;
        if (Thread *t = CurrentThread())
            for (Timer *timer : t->timers)
                if (timer->window == msg->hwnd && timer->id == msg->wParam && timer->proc == proc) live = true;
        if (!live) return 0;
        DWORD tick = TickOf(Now());
        Unlocked unlocked;
        proc(msg->hwnd, WM_TIMER, msg->wParam, tick);
        return 0;
    }
    Window *w = W(msg->hwnd);
    if (!w) {
        if (msg->hwnd) SetLastError(1400);
        return 0;
    }
    uint32_t paintsBefore = w->paints;
    LRESULT result = CallProc(w, msg->message, msg->wParam, msg->lParam);
    if (msg->message == WM_PAINT && (w = W(msg->hwnd)) != nullptr && w->paints == paintsBefore && HasUpdate(w)) {
        // A WM_PAINT handler that never called BeginPaint would be asked
        // again at once, for ever; the platform validates for it. A handler
        // that did paint keeps whatever was invalidated after its BeginPaint.
        w->update.clear();
        w->erase = false;
    }
    return result;
}

DWORD GetMessageTime(void)
{
    Lock lock(BigLock());
    Thread *t = CurrentThread();
    return t ? t->lastMessageTime : 0;
}

// --------------------------------------------------------------- timers

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    Lock lock(BigLock());
    CheckTerminate();
    Thread *t;
    if (window) {
        Window *w = WindowOrError(window);
        if (!w) return 0;
        t = w->thread;
    } else {
        t = CurrentThread();
        if (!t) return 0;
    }
    // The device's timers go down to 1 ms.
    if (elapse < 1) elapse = 1;
    if (elapse > 0x7FFFFFFF) elapse = 0x7FFFFFFF;
    uint64_t due = Now() + elapse;
    for (Timer *timer : t->timers) {
        if (timer->window == window && timer->id == id && (window || id)) {
            timer->period = elapse;
            timer->proc = proc;
            timer->due = due;
            if (t != CurrentThread()) Wake(t);
            return window ? (id ? id : 1) : id;
        }
    }
    Timer *timer = new Timer{window, t, id, elapse, due, proc};
    if (!window) timer->id = U().nextThreadTimer++;
    t->timers.push_back(timer);
    if (t != CurrentThread()) Wake(t);
    return window ? (id ? id : 1) : timer->id;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    Lock lock(BigLock());
    Thread *t = nullptr;
    if (window) {
        Window *w = WindowOrError(window);
        if (!w) return FALSE;
        t = w->thread;
    } else {
        t = CurrentThread();
    }
    if (!t) return FALSE;
    for (auto it = t->timers.begin(); it != t->timers.end(); ++it) {
        if ((*it)->window == window && (*it)->id == id) {
            delete *it;
            t->timers.erase(it);
            return TRUE;
        }
    }
    SetLastError(1402); // ERROR_INVALID_... timer id
    return FALSE;
}

// ------------------------------------------------- default window procedure

LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(window, message, wParam, lParam) : 0;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock<std::recursive_mutex> lock(BigLock());
    Window *w = W(window);
    if (!w) return 0;
    switch (message) {
    case WM_NCCREATE: {
        const CREATESTRUCTW *cs = (const CREATESTRUCTW *)lParam;
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) w->text = cs->lpszName;
        return TRUE;
    }
    case WM_SETTEXT: {
        LPCWSTR text = (LPCWSTR)lParam;
        w->text = text ? std::u16string(text) : std::u16string();
        if (IsVisible(w) && HasFrame(w)) {
            Unlocked unlocked;
            PaintNonClient(window); // the caption shows the new text at once
        }
        return TRUE;
    }
    case WM_GETTEXT: {
        LPWSTR buffer = (LPWSTR)lParam;
        if (!buffer || wParam == 0) return 0;
        size_t n = std::min<size_t>(w->text.size(), (size_t)wParam - 1);
        std::copy(w->text.begin(), w->text.begin() + (long)n, buffer);
        buffer[n] = 0;
        return (LRESULT)n;
    }
    case WM_GETTEXTLENGTH:
        return (LRESULT)w->text.size();
    case WM_CLOSE:
        lock.unlock();
        DestroyWindow(window);
        return 0;
    case WM_SYSCOMMAND:
        lock.unlock();
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_NCPAINT:
        lock.unlock();
        PaintNonClient(window);
        return 0;
    case WM_NCACTIVATE:
        if (IsVisible(w) && HasFrame(w)) {
            lock.unlock();
            PaintNonClient(window);
        }
        return TRUE;
    case WM_NCHITTEST:
        lock.unlock();
        return NonClientHitTest(window, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_NCLBUTTONDOWN:
        lock.unlock();
        return NonClientButtonDown(window, wParam, lParam);
    case WM_ERASEBKGND: {
        HBRUSH brush = w->cls->info.hbrBackground;
        if (!brush) return 0;
        RECT client = ClientRectOf(w);
        lock.unlock();
        FillRect((HDC)wParam, &client, brush);
        return 1;
    }
    case WM_PAINT: {
        lock.unlock();
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ACTIVATE:
        lock.unlock();
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(window);
        return 0;
    case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS *pos = (const WINDOWPOS *)lParam;
        if (!pos) return 0;
        RECT client = ClientScreenRect(w);
        RECT size = ClientRectOf(w);
        if (w->parent) {
            RECT parentClient = ClientScreenRect(w->parent);
            client = Offset(client, -parentClient.left, -parentClient.top);
        }
        UINT flags = pos->flags;
        lock.unlock();
        if (!(flags & SWP_NOMOVE)) SendMessageW(window, WM_MOVE, 0, MAKELPARAM(client.left, client.top));
        if (!(flags & SWP_NOSIZE)) SendMessageW(window, WM_SIZE, 0, MAKELPARAM(size.right, size.bottom));
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
        lock.unlock();
        bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
        SetTextColor((HDC)wParam, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor((HDC)wParam, GetSysColor(field ? COLOR_WINDOW : COLOR_BTNFACE));
        return (LRESULT)GetSysColorBrush(field ? COLOR_WINDOW : COLOR_BTNFACE);
    }
    default:
        return 0;
    }
}
