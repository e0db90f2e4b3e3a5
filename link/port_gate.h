// The pass of the frame exchange's current worker. The GUI thread admits one
// worker at a time, with the moment by which its job must be done, and
// revokes it once that moment has passed. The worker reads its moment here,
// looks at its pass before each port call, and marks its job done (the
// reader: publishes into RxFrame) only inside the gate.
//
// What this gives:
// 1. After Revoke has returned, the revoked worker is not inside and never
//    enters again, so it never writes RxFrame and never marks a job done.
// 2. A revoked worker starts no port call once it has seen its pass gone; a
//    call it had already started ends by its moment, which has passed.
// 3. Nobody waits inside the gate: the only work done there is copying 8
//    bytes and setting a bit, so Revoke's wait for it is short.
#pragma once

#include <atomic>
#include <cstdint>

class PortGate {
  public:
    // GUI thread: makes worker (1 to 2^30 - 1) the admitted one, with its
    // moment on LinkMicroseconds(), and clears the done mark.
    void Admit(uint32_t worker, uint64_t until);
    // GUI thread: no worker is admitted any more; returns once none is inside.
    void Revoke();
    // GUI thread: the admitted worker marked its job done.
    bool Done() const;

    // Worker: its moment; false once it is not the admitted one.
    bool Until(uint32_t worker, uint64_t& until) const;
    // Worker: true while it is the admitted one and its moment has not come.
    bool InTime(uint32_t worker) const;
    // Worker: enters only while it is in time; Finish marks its job done and
    // leaves.
    bool Enter(uint32_t worker);
    void Finish();

  private:
    static constexpr uint32_t Inside = 1u << 30;
    static constexpr uint32_t Finished = 1u << 31;
    static constexpr uint32_t Flags = Inside | Finished;
    // The admitted worker's number in the low bits (0: none), and the flags.
    std::atomic<uint32_t> state_{0};
    // Written before the number that it belongs to is admitted.
    std::atomic<uint64_t> until_{0};
};
