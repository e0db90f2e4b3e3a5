// ZiziDivu's run within a time limit. The enumeration runs on a worker
// thread; the main thread waits for it at most the limit and then writes
// what it has. Main thread, and the one worker.
#include "tools/zizidivu/bounded_run.h"

#include <string>

#include "common/holders.h"
#include "common/system_library.h"
#include "tools/zizidivu/list_writer.h"
#include "tools/zizidivu/port_lines.h"

namespace {

// What the worker needs. Allocated once and never freed: on a cut-short run
// the worker may still be inside a system call when the process ends.
struct Enumeration {
    PortCollection ports;
};

DWORD WINAPI EnumerationThread(void* parameter) {
    auto* enumeration = static_cast<Enumeration*>(parameter);
    ListSerialPorts(enumeration->ports);
    return 0;
}

int WritePorts(const std::wstring& folder, PortCollection& ports) {
    return WriteList(folder, PortListLines(ports.Copy()));
}

} // namespace

int RunZiziDivu() {
    // Before anything loads a DLL: never one from the tool's own folder.
    RestrictDllSearch();
    // No error boxes from the system (a port driver that fails to load, say):
    // nobody would be there to close them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

    // Found before the worker starts: the loader's lock, which reading the
    // module's path takes, may be held for good by a stuck worker.
    const std::wstring folder = ToolFolder();
    auto* enumeration = new Enumeration;
    Handle worker(CreateThread(nullptr, 0, EnumerationThread, enumeration, 0, nullptr));
    if (!worker.IsValid()) {
        // No thread to spare: enumerate here, without the limit, rather than
        // list nothing.
        ListSerialPorts(enumeration->ports);
        return WritePorts(folder, enumeration->ports);
    }
    if (WaitForSingleObject(worker.Get(), EnumerationLimitMs) == WAIT_OBJECT_0) {
        return WritePorts(folder, enumeration->ports);
    }
    // The worker is stuck in a call that does not return (a wedged device, a
    // driver being installed): write what it has gathered, through the same
    // temporary file and rename, so the list is whole.
    const int written = WritePorts(folder, enumeration->ports);
    const int code = written == ListWritten ? ListCutShort : written;
    // End at once: an orderly exit would notify the DLLs, and the stuck
    // worker may hold the loader's lock inside SetupAPI, so the exit could
    // wait on it for ever. The list is closed and flushed already. Should
    // this fail, the ordinary exit is all that is left.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    return code;
}
