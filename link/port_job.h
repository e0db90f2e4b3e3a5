// Port calls that kernel32 makes without a limit of its own (open, the line
// settings, close), done on a short-lived worker so that the GUI thread waits
// for them only until a limit. A job the driver keeps past its limit is left
// to that worker, which undoes what the job took once the call returns and
// then frees the job. GUI thread; the job's own steps on its worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

struct PortJob {
    // On the worker: the calls themselves.
    void (*work)(PortJob* job);
    // On the worker, only when the GUI thread gave up on the job before work
    // returned: releases what work took (a handle opened late, say).
    void (*undo)(PortJob* job);
    // Who still holds the job; the last one frees it.
    std::atomic<uint32_t> state;
};

// A job of type Job (a struct derived from PortJob, with nothing to
// destroy), value-initialised on the process heap; nullptr when there is no
// memory. The caller fills in its fields and hands it to RunPortJob.
void* NewPortJobMemory(uint32_t size);
template <class Job> Job* NewPortJob() {
    void* memory = NewPortJobMemory(sizeof(Job));
    return memory ? new (memory) Job() : nullptr;
}

// Runs job->work on a worker and waits for it at most `milliseconds`. True
// when it finished in time: its results may be read, and the caller frees it
// with FreePortJob. False when it could not start or overran: the job is no
// longer the caller's.
bool RunPortJob(PortJob* job, uint32_t milliseconds);
void FreePortJob(PortJob* job);

// True while a job that overran its limit is still in its driver's hands.
bool PortJobsHeld();
