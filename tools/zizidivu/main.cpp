// ZiziDivu: lists the serial ports that are present into listport.txt beside
// itself and ends. A GUI-subsystem program with no window, so that nothing
// shows when the configurator starts it. One thread.
//
// A Prolific (USB vendor 067B) or WCH (1A86) cable is known by its hardware
// IDs, whatever its driver calls it, and its line starts with the
// configurator's marker and the port:
//   USB-SERIAL CH340 (COM5) USB-Enhanced-SERIAL CH343
// The configurator takes the text between a line's first "("
// and first ")", so the driver's own name, which may hold parentheses of its
// own, comes after the port. A device with a problem code gets no marker.
// Lines go in ascending COM number order: of two cables, the configurator
// takes the last line, so always the one with the higher number.
//
// Exit code: 0 when the list was written (an empty file when there is no
// port), otherwise 1 (own folder unknown), 2 (temporary file not written) or
// 3 (old list not replaced); then the old list is left as it was.
#include <windows.h>

#include "common/system_library.h"
#include "tools/zizidivu/list_writer.h"
#include "tools/zizidivu/port_lines.h"
#include "tools/zizidivu/serial_ports.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything loads a DLL: never one from the tool's own folder.
    RestrictDllSearch();
    // No error boxes from the system (a port driver that fails to load, say):
    // nobody would be there to close them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    return WriteList(ToolFolder(), PortListLines(ListSerialPorts()));
}
