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
// Stops a running worker: cancels the I/O it is blocked in, gives it a short
// grace to end by itself and only then terminates it, as the last resort and
// only when mayTerminate (if given) says it is safe: a thread ended at an
// arbitrary point may leave a lock taken for ever. A worker left running is
// one its owner has already cut off; it ends by itself. Either way the entry
// is removed.
void StopWorker(uint32_t id, bool (*mayTerminate)() = nullptr);
void CloseAllWorkers();

void Pause(uint32_t milliseconds);

// How many workers the registry holds (for tests and soak checks).
uint32_t RegisteredWorkers();
