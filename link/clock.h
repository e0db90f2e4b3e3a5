// The device link's clock: microseconds from the performance counter, so
// that the workers' 500 ms limits and their cancel grace are kept to the
// millisecond, not to the 10 to 16 ms steps of the tick count. Any thread.
#pragma once

#include <windows.h>

#include <cstdint>

inline uint64_t LinkMicroseconds() {
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency); // never fails from Windows XP on
    QueryPerformanceCounter(&count);
    const uint64_t f = static_cast<uint64_t>(frequency.QuadPart);
    const uint64_t c = static_cast<uint64_t>(count.QuadPart);
    return c / f * 1000000 + c % f * 1000000 / f;
}

// Whole milliseconds from now until `until`, rounded up so that a wait for
// them never ends before it; 0 once it has passed.
inline DWORD MillisecondsUntil(uint64_t until) {
    const uint64_t now = LinkMicroseconds();
    return now >= until ? 0 : static_cast<DWORD>((until - now + 999) / 1000);
}
