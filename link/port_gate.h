// The gate that a frame-exchange worker passes for each port call and for
// its copy into RxFrame. Workers enter and leave; the GUI thread admits a
// worker, revokes it when it overruns, and decides whether it may be ended.
//
// The rules that make a stop safe:
// 1. Only the admitted worker enters, and one at a time; after Revoke no
//    worker enters again until the next Admit.
// 2. Inside, a worker makes one Win32 I/O call on a handle it looked up
//    before entering, or copies into the frames. It holds none of our locks
//    and allocates nothing there, so ending its thread there leaves nothing
//    half done that anyone else waits for.
// 3. Outside, a worker may hold a lock (the port table's, the heap's, the
//    loader's); it is never ended there. A revoked worker outside can no
//    longer enter, so it touches nothing and ends by itself.
// 4. Seize pins a revoked worker inside: from then on Leave holds it at a
//    sleep until the stopper has ended it (Forget) or given up (Unseize).
//    So the stopper never ends a worker that has just walked out.
#pragma once

#include <atomic>
#include <cstdint>

class PortGate {
  public:
    // Makes worker (1 to 2^30 - 1) the only one that may enter.
    void Admit(uint32_t worker);
    // Blocks while another worker is inside; false once worker is not the
    // admitted one.
    bool Enter(uint32_t worker);
    void Leave();

    // GUI thread, for an overrunning worker.
    void Revoke();
    // True when a revoked worker is inside, and then it is held there.
    bool Seize();
    // The seized worker has been ended: the gate is free again.
    void Forget();
    // The seized worker could not be ended: let it leave when it can.
    void Unseize();

  private:
    static constexpr uint32_t Inside = 1u << 30;
    static constexpr uint32_t Seized = 1u << 31;
    static constexpr uint32_t Flags = Inside | Seized;
    // The admitted worker's number in the low bits (0: none), and the flags.
    std::atomic<uint32_t> state_{0};
};

// A worker's pass through a gate, handed to the port calls it makes; an
// empty key passes every call straight through (the GUI thread's own calls).
struct GateKey {
    PortGate* gate = nullptr;
    uint32_t worker = 0;

    bool Enter() const { return !gate || gate->Enter(worker); }
    void Leave() const {
        if (gate) {
            gate->Leave();
        }
    }
};
