// The gate of the frame exchange's workers: one atomic word holds the
// admitted worker's number and whether someone is inside or seized there.
// Enter and Leave run on the workers, the rest on the GUI thread.
#include "link/port_gate.h"

#include <windows.h>

void PortGate::Admit(uint32_t worker) {
    uint32_t s = state_.load();
    while (!state_.compare_exchange_weak(s, (s & Flags) | (worker & ~Flags))) {
    }
}

bool PortGate::Enter(uint32_t worker) {
    for (;;) {
        uint32_t s = state_.load();
        if ((s & ~Flags) != worker) {
            return false;
        }
        if (!(s & Inside)) {
            if (state_.compare_exchange_weak(s, s | Inside)) {
                return true;
            }
            continue;
        }
        // A worker revoked a moment ago is still inside; wait for it to
        // leave or be ended, so that two port calls never overlap.
        Sleep(1);
    }
}

void PortGate::Leave() {
    for (;;) {
        uint32_t s = state_.load();
        if (s & Seized) {
            // About to be ended by the GUI thread: stay where that is safe.
            Sleep(1);
            continue;
        }
        if (state_.compare_exchange_weak(s, s & ~Inside)) {
            return;
        }
    }
}

void PortGate::Revoke() {
    state_.fetch_and(Flags);
}

bool PortGate::Seize() {
    uint32_t s = state_.load();
    while (s & Inside) {
        if (state_.compare_exchange_weak(s, s | Seized)) {
            return true;
        }
    }
    return false;
}

void PortGate::Forget() {
    state_.fetch_and(~Flags);
}

void PortGate::Unseize() {
    state_.fetch_and(~Seized);
}
