// ZiziDivu: lists the serial ports that are present into listport.txt beside
// itself and ends. A GUI-subsystem program with no window, so that nothing
// shows when the configurator starts it. The ports are gathered on a worker
// thread; when that takes more than 3 seconds, the ports found so far are
// written and the tool ends (bounded_run.cpp), so that a call that blocks
// never leaves the configurator waiting.
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
// port), 4 when it was written with the ports found before the time limit,
// otherwise 1 (own folder unknown), 2 (temporary file not written) or 3 (old
// list not replaced); then the old list is left as it was.
#include <windows.h>

#include "tools/zizidivu/bounded_run.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunZiziDivu();
}
