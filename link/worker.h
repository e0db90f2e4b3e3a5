// Short-lived worker threads of the frame exchange, their registry, and the
// pause that sets the 1 ms timer resolution once per process.
#pragma once

#include <windows.h>

#include <cstdint>

bool WorkerRegistryCreate();
void WorkerRegistryDestroy();

// Returns the new worker's id, 0 when the thread could not be started. The
// parameter reaches the procedure unchanged.
uint32_t StartWorker(LPTHREAD_START_ROUTINE procedure, void* parameter = nullptr);
// True when the worker has ended within the limit (or names nothing running).
bool AwaitWorker(uint32_t id, uint32_t milliseconds);

enum class WorkerCancel {
    Ended,   // the worker has ended
    Pending, // its I/O call was cancelled but has not returned
    Refused, // no I/O call of its was found to cancel
};
// Cancels the synchronous I/O a running worker is blocked in, again every
// 2 ms until it ends or the time runs out, so that a call it starts just
// after a cancel is caught too.
WorkerCancel CancelWorkerIo(uint32_t id, uint32_t milliseconds);
// Ends a running worker forcibly and waits for it to be gone, then removes
// its entry; a worker that has already ended is only removed. Only for a
// worker held where ending it leaves no lock taken. True when it is gone.
bool StopWorker(uint32_t id);
// Removes a worker's entry without stopping it: one its owner has cut off,
// which ends by itself.
void ForgetWorker(uint32_t id);
void CloseAllWorkers();

void Pause(uint32_t milliseconds);

// How many workers the registry holds (for tests and soak checks).
uint32_t RegisteredWorkers();
