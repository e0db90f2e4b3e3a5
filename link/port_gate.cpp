// The gate of the frame exchange's workers: one atomic word holds the
// admitted worker's number and whether it is inside or has finished; a
// second holds its moment. Admit, Revoke and Done run on the GUI thread, the
// rest on the workers.
#include "link/port_gate.h"

#include "link/clock.h"

#include <windows.h>

void PortGate::Admit(uint32_t worker, uint64_t until) {
    // The last worker was revoked, so nobody is inside: the moment can change.
    until_.store(until);
    state_.store(worker & ~Flags);
}

void PortGate::Revoke() {
    uint32_t s = state_.fetch_and(Flags);
    while (s & Inside) {
        // The worker is copying its 8 bytes; it leaves in a moment. Sleep(1)
        // lets it run even at a lower priority on the same processor, which
        // Sleep(0) does not.
        Sleep(1);
        s = state_.load();
    }
}

bool PortGate::Done() const {
    return (state_.load() & Finished) != 0;
}

bool PortGate::Until(uint32_t worker, uint64_t& until) const {
    // The moment is read before the number is checked: a moment read after a
    // later Admit comes with that admission's number, never with this one.
    until = until_.load();
    return worker != 0 && (state_.load() & ~Flags) == worker;
}

bool PortGate::InTime(uint32_t worker) const {
    uint64_t until = 0;
    return Until(worker, until) && LinkMicroseconds() < until;
}

bool PortGate::Enter(uint32_t worker) {
    uint32_t s = state_.load();
    for (;;) {
        if ((s & ~Flags) != worker || worker == 0 || LinkMicroseconds() >= until_.load()) {
            return false;
        }
        if (state_.compare_exchange_weak(s, s | Inside)) {
            return true;
        }
    }
}

void PortGate::Finish() {
    uint32_t s = state_.load();
    while (!state_.compare_exchange_weak(s, (s & ~Inside) | Finished)) {
    }
}
