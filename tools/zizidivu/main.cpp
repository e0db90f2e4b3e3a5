// ZiziDivu: lists the serial ports that are present into listport.txt beside
// itself and ends. A GUI-subsystem program with no window, so that nothing
// shows when the configurator starts it. One thread.
//
// Exit code: 0 when the list was written (an empty file when there is no
// port), otherwise 1 (own folder unknown), 2 (temporary file not written) or
// 3 (old list not replaced); then the old list is left as it was.
#include <windows.h>

#include "tools/zizidivu/list_writer.h"
#include "tools/zizidivu/port_lines.h"
#include "tools/zizidivu/serial_ports.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // No error boxes from the system (a port driver that fails to load, say):
    // nobody would be there to close them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    std::vector<std::wstring> lines;
    for (const auto& entry : ListSerialPorts()) {
        std::wstring line = PortListLine(UpperCase(entry.name), entry.port);
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
    }
    return WriteList(ToolFolder(), lines);
}
