// The serial ports present on this machine, as ZiziDivu lists them: the Ports
// device class through SetupAPI (names, hardware IDs, problem codes), then the
// ports of the SERIALCOMM device map that SetupAPI did not report. Gathers the
// facts only; port_lines decides what to write. The enumeration runs on the
// tool's worker thread; the main thread reads what it has gathered so far.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/zizidivu/port_lines.h"

// The ports gathered so far: the enumeration adds each one as soon as it has
// read it, and the main thread may take a copy at any moment (any thread).
class PortCollection {
  public:
    PortCollection() { InitializeCriticalSection(&lock_); }
    ~PortCollection() { DeleteCriticalSection(&lock_); }
    PortCollection(const PortCollection&) = delete;
    PortCollection& operator=(const PortCollection&) = delete;

    void Add(const SerialPortEntry& entry);
    std::vector<SerialPortEntry> Copy();

  private:
    CRITICAL_SECTION lock_; // guards ports_, held only to add or copy
    std::vector<SerialPortEntry> ports_;
};

// Adds the ports in the order the system gives them; every entry's upperName
// is filled. Each device's properties are read once.
void ListSerialPorts(PortCollection& ports);

// The text in upper case, as the configurator's driver markers are.
std::wstring UpperCase(const std::wstring& text);
