// Short-lived worker threads and their registry, and the pause that puts the
// system timer at 1 ms for the rest of the run. The registry lock guards
// only the list and the id counter; waits happen outside it.
#include "link/worker.h"

#include "link/worker_calls.h"

#include <mmsystem.h>

#include <vector>

#include "common/holders.h"
#include "common/system_library.h"

namespace {

// winmm is loaded here, not at start-up; without it the waits are only
// coarser.
MMRESULT WINAPI WinmmTimeBeginPeriod(UINT milliseconds) {
    using TimeBeginPeriod = MMRESULT(WINAPI*)(UINT);
    const auto begin = SystemFunction<TimeBeginPeriod>(L"winmm.dll", "timeBeginPeriod");
    return begin ? begin(milliseconds) : TIMERR_NOCANDO;
}

} // namespace

WorkerSystemCalls WorkerSystem = {CreateThread, CloseHandle, Sleep, WinmmTimeBeginPeriod};

namespace {

struct Worker {
    HANDLE thread;
    uint32_t id;
};

CRITICAL_SECTION gRegistryLock;
bool gRegistryReady;
std::vector<Worker> gWorkers;
uint32_t gNextWorkerId = 1;
bool gTimerSet;

// How long StopWorker waits for a cut-off worker. Its port call is given
// 10 ms after its moment to finish once cancelled, or else is left to its
// driver: waiting a little longer means that once StopWorker returns, the
// worker has ended either way, and the caller can tell whether a driver
// still holds a call of ours.
constexpr DWORD StopWait = 20;

// The thread of a registered worker that is still running, or nullptr.
HANDLE RunningThread(uint32_t id) {
    HANDLE running = nullptr;
    if (!gRegistryReady || id == 0) {
        return nullptr;
    }
    CriticalSectionLock hold(gRegistryLock);
    for (const Worker& w : gWorkers) {
        if (w.id == id && WaitForSingleObject(w.thread, 0) == WAIT_TIMEOUT) {
            running = w.thread;
        }
    }
    return running;
}

} // namespace

bool WorkerRegistryCreate() {
    if (!gRegistryReady) {
        InitializeCriticalSection(&gRegistryLock);
        gRegistryReady = true;
    }
    return true;
}

void WorkerRegistryDestroy() {
    if (!gRegistryReady) {
        return;
    }
    CloseAllWorkers();
    gRegistryReady = false;
    DeleteCriticalSection(&gRegistryLock);
}

uint32_t StartWorker(LPTHREAD_START_ROUTINE procedure, void* parameter) {
    if (!gRegistryReady) {
        return 0;
    }
    HANDLE thread = WorkerSystem.createThread(nullptr, 4096, procedure, parameter, 0, nullptr);
    if (!thread) {
        return 0;
    }
    CriticalSectionLock hold(gRegistryLock);
    // Sweep the workers that have ended since the last start.
    for (auto it = gWorkers.begin(); it != gWorkers.end();) {
        if (WaitForSingleObject(it->thread, 0) == WAIT_OBJECT_0) {
            WorkerSystem.closeThread(it->thread);
            it = gWorkers.erase(it);
        } else {
            ++it;
        }
    }
    uint32_t id = gNextWorkerId++;
    gWorkers.push_back({thread, id});
    return id;
}

bool AwaitWorker(uint32_t id, uint32_t milliseconds) {
    HANDLE thread = RunningThread(id);
    if (!thread) {
        return true;
    }
    return WaitForSingleObject(thread, milliseconds) == WAIT_OBJECT_0;
}

void StopWorker(uint32_t id) {
    HANDLE thread = RunningThread(id);
    if (thread) {
        WaitForSingleObject(thread, StopWait);
    }
    if (!gRegistryReady) {
        return;
    }
    CriticalSectionLock hold(gRegistryLock);
    for (auto it = gWorkers.begin(); it != gWorkers.end(); ++it) {
        if (it->id == id) {
            WorkerSystem.closeThread(it->thread);
            gWorkers.erase(it);
            break;
        }
    }
}

void CloseAllWorkers() {
    if (!gRegistryReady) {
        return;
    }
    CriticalSectionLock hold(gRegistryLock);
    for (const Worker& w : gWorkers) {
        WorkerSystem.closeThread(w.thread);
    }
    gWorkers.clear();
}

void FineTimer() {
    if (gTimerSet) {
        return;
    }
    // Kept for the rest of the run, so that the 10 ms polls and the 12 ms
    // pause last close to their nominal time and the 500 ms limits end on
    // time, not at the default tick of 15.6 ms.
    WorkerSystem.timeBeginPeriod(1);
    gTimerSet = true;
}

void Pause(uint32_t milliseconds) {
    FineTimer();
    WorkerSystem.sleep(milliseconds);
}
