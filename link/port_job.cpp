// Port jobs on short-lived workers: the GUI thread waits for each only until
// its limit. The job's state word says who still holds it; a worker that
// finishes after the GUI thread gave up undoes the job's work and frees it,
// touching nothing but the job, the system calls it was given and one
// counter, since the program may be shutting down by then.
#include "link/port_job.h"

#include <windows.h>

#include "link/worker.h"

namespace {

constexpr uint32_t WorkDone = 1; // the worker has returned from work
constexpr uint32_t GivenUp = 2;  // the GUI thread no longer waits for it

// Jobs given up on whose worker is still in its call.
std::atomic<int> gJobsHeld{0};

DWORD WINAPI JobThread(LPVOID parameter) {
    auto* job = static_cast<PortJob*>(parameter);
    job->work(job);
    if (job->state.fetch_or(WorkDone) & GivenUp) {
        if (job->undo) {
            job->undo(job);
        }
        FreePortJob(job);
        --gJobsHeld;
    }
    return 0;
}

} // namespace

void* NewPortJobMemory(uint32_t size) {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

bool RunPortJob(PortJob* job, uint32_t milliseconds) {
    if (!job) {
        return false;
    }
    const uint32_t id = StartWorker(JobThread, job);
    if (id == 0) {
        FreePortJob(job);
        return false;
    }
    if (AwaitWorker(id, milliseconds)) {
        return true;
    }
    // Counted before the worker can see that it was given up, so that the
    // count never drops below the jobs still out.
    ++gJobsHeld;
    if (job->state.fetch_or(GivenUp) & WorkDone) {
        --gJobsHeld; // it finished between the wait's end and now
        return true;
    }
    StopWorker(id);
    return false;
}

void FreePortJob(PortJob* job) {
    if (job) {
        HeapFree(GetProcessHeap(), 0, job);
    }
}

bool PortJobsHeld() {
    return gJobsHeld.load() > 0;
}
