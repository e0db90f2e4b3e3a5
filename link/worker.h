// Short-lived worker threads of the frame exchange, their registry, and the
// pause that sets the 1 ms timer resolution once per process.
#pragma once

#include <windows.h>

#include <cstdint>

bool WorkerRegistryCreate();
void WorkerRegistryDestroy();

// Returns the new worker's id, 0 when the thread could not be started.
uint32_t StartWorker(LPTHREAD_START_ROUTINE procedure);
// True when the worker has ended within the limit (or names nothing running).
bool AwaitWorker(uint32_t id, uint32_t milliseconds);
void StopWorker(uint32_t id);
void CloseAllWorkers();

void Pause(uint32_t milliseconds);

// How many workers the registry holds (for tests and soak checks).
uint32_t RegisteredWorkers();
