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

// Removes a worker's entry and closes its handle, after giving a worker
// that is still running StopWait to end. A worker is never ended from
// outside: its owner has already cut it off (its port calls are bounded and
// it may no longer publish), so one still running then ends by itself later.
void StopWorker(uint32_t id);
void CloseAllWorkers();

// Puts the system timer at 1 ms for the rest of the run; the first call does
// it, later ones do nothing. Pause calls it, and so does the exchange before
// it times its first limit.
void FineTimer();
void Pause(uint32_t milliseconds);
