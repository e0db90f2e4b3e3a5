// The event queue: the only part of the toolkit another thread may call.
// EventPost runs on any thread and touches nothing but the queue (under its
// lock) and the hidden wake-up window; everything else here, EventWait
// included, is GUI thread only. Events come from the window procedures and
// from the program's own posts, and leave one at a time through EventWait.
#include "app/toolkit/registry.h"
#include "app/toolkit/toolkit.h"
#include "common/holders.h"

#include <deque>

ToolkitEventData ToolkitEvent;

namespace toolkit {

int gSuppress;

namespace {

struct Event {
    uint32_t kind, gadget, window, type, data1, data2;
};

// Kinds below this are the toolkit's own (gadget, timer, close): an identical
// one right behind the one waiting says nothing new and merges into it. Kinds
// from here up are the program's own and always queue.
constexpr uint32_t FirstUnmergedKind = 65536;

// ToolkitEvent.type while no event is current.
constexpr uint32_t NoEventType = static_cast<uint32_t>(-1);

const wchar_t* const HiddenClass = L"TumarkToolkitHidden";

CRITICAL_SECTION gQueueLock; // guards gQueue
bool gQueueReady;            // set once the lock exists; posts before it are dropped
std::deque<Event> gQueue;
HWND gHidden; // GUI thread's; only a post from another thread targets it
UINT gWakeMessage;

// Cross-thread posts only wake the GUI thread; the event is already queued.
LRESULT CALLBACK HiddenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == gWakeMessage && gWakeMessage) {
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

bool QueueStart(HINSTANCE instance) {
    InitializeCriticalSection(&gQueueLock);
    gQueueReady = true;
    gWakeMessage = RegisterWindowMessageW(L"TumarkToolkitWake");

    WNDCLASSEXW hidden = {};
    hidden.cbSize = sizeof(hidden);
    hidden.lpfnWndProc = HiddenProc;
    hidden.hInstance = instance;
    hidden.lpszClassName = HiddenClass;
    if (RegisterClassExW(&hidden)) {
        gHidden = CreateWindowExW(0, HiddenClass, L"", WS_CAPTION, 0, 0, 1, 1, nullptr, nullptr,
                                  instance, nullptr);
    }
    return gHidden != nullptr;
}

void QueueEnd() {
    if (gHidden) {
        DestroyWindow(gHidden);
        gHidden = nullptr;
        UnregisterClassW(HiddenClass, gInstance);
    }
}

// A closed window's events would name an identifier no longer in the tables.
void DrainQueueOf(uint32_t window) {
    CriticalSectionLock hold(gQueueLock);
    for (auto it = gQueue.begin(); it != gQueue.end();) {
        it = it->window == window ? gQueue.erase(it) : it + 1;
    }
}

} // namespace toolkit

using namespace toolkit;

void EventPost(uint32_t kind, uint32_t gadget, uint32_t window, uint32_t type, uint32_t data1,
               uint32_t data2) {
    if (!gQueueReady) {
        return;
    }
    bool added = false;
    {
        // Held for the table only: the wake-up below is posted outside it.
        CriticalSectionLock hold(gQueueLock);
        if (gSuppress <= 0) {
            const Event* last = gQueue.empty() ? nullptr : &gQueue.back();
            // Identical events back to back merge into the one already waiting.
            if (!(last && kind < FirstUnmergedKind && last->kind == kind &&
                  last->gadget == gadget && last->window == window && last->type == type)) {
                gQueue.push_back({kind, gadget, window, type, data1, data2});
                added = true;
            }
        }
    }
    // A post from another thread wakes the GUI thread's wait.
    if (added && gHidden && GetWindowThreadProcessId(gHidden, nullptr) != GetCurrentThreadId()) {
        PostMessageW(gHidden, gWakeMessage, 0, 0);
    }
}

// The next queued event if there is one; otherwise one Win32 message is
// dispatched (it may queue events for the next call) and its number returned.
uint32_t EventWait() {
    ToolkitEvent.kind = 0;
    ToolkitEvent.type = NoEventType;
    bool have = false;
    Event e{};
    {
        CriticalSectionLock hold(gQueueLock);
        have = !gQueue.empty();
        if (have) {
            e = gQueue.front();
            gQueue.pop_front();
        }
    }
    if (have) {
        ToolkitEvent = {e.kind, e.window, e.gadget, e.type, e.data1, e.data2};
        return e.kind;
    }

    MSG msg;
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        return 0;
    }
    if (!TranslateFocusKeys(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return msg.message;
}

void EventDropInput() {
    // The non-client range holds the clicks on the caption and its buttons.
    const UINT ranges[][2] = {
        {WM_KEYFIRST, WM_KEYLAST},
        {WM_MOUSEFIRST, WM_MOUSELAST},
        {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
    };
    // A mouse that keeps moving keeps adding moves: a bounded number go.
    constexpr int MostDropped = 4096;
    MSG msg;
    for (const auto& range : ranges) {
        for (int n = 0;
             n < MostDropped && PeekMessageW(&msg, nullptr, range[0], range[1], PM_REMOVE); ++n) {
        }
    }
}

uint32_t EventWindow() {
    return ToolkitEvent.window;
}
uint32_t EventGadget() {
    return ToolkitEvent.gadget;
}
uint32_t EventType() {
    return ToolkitEvent.type;
}
