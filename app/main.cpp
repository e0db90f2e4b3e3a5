// The program's entry and life cycle: start-up, the event loop on the GUI
// thread, the exit confirmation and shutdown. Everything here runs on the
// one GUI thread; the command line is not read.
#include "app/main_window.h"
#include "app/toolkit/toolkit.h"
#include "common/system_library.h"
#include "commands/commands.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "link/worker.h"

#include <objbase.h>

namespace {

HINSTANCE gInstance; // this executable's module
HANDLE gHeap;        // the program heap: frame buffers live here

[[noreturn]] void Shutdown() {
    CloseAllWorkers();
    SerialCloseAll();
    ToolkitEnd();
    WorkerRegistryDestroy();
    SerialTableDestroy();
    if (gHeap) {
        HeapDestroy(gHeap);
    }
    ExitProcess(0);
}

// Returns only when the user declines.
void ConfirmExit() {
    int answer = MessageShow(L"Выход", L"Вы действительно хотите выйти из программы?",
                             MB_YESNO | MB_ICONEXCLAMATION);
    if (answer != IDYES) {
        return;
    }
    WindowClose(MainWindow);
    MainWindow = 0;
    Shutdown();
}

void Dispatch(uint32_t kind) {
    uint32_t window = EventWindow();
    if (kind == TimerEvent) {
        return;
    }
    if (kind == CloseWindowEvent) {
        if (window == MainWindow) {
            ConfirmExit();
        }
        return;
    }
    if (kind != GadgetEvent || window != MainWindow) {
        return;
    }
    uint32_t gadget = EventGadget();
    uint32_t type = EventType();
    if (gadget == OptStandalone) {
        OnStandaloneClick(type);
    } else if (gadget == OptSlave) {
        OnSlaveClick(type);
    } else if (gadget == DirectionList) {
        OnDirectionChange(type);
    } else if (gadget == BtnWrite) {
        WriteCommand(type);
    } else if (gadget == BtnRead) {
        ReadCommand(type);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // Before anything loads a DLL: a file named like a system DLL in the
    // program's folder (Downloads, say) must never be loaded instead.
    RestrictDllSearch();
    gInstance = GetModuleHandleW(nullptr);
    gHeap = HeapCreate(0, 4096, 0);
    HANDLE heap = gHeap ? gHeap : GetProcessHeap();
    ToolkitStart(gInstance, heap);
    CoInitialize(nullptr);
    SerialTableCreate();
    WorkerRegistryCreate();
    RxFrame = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 8));
    TxFrame = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 8));
    if (!RxFrame || !TxFrame) {
        ExitProcess(2);
    }
    CreateMainWindow();
    // Without a window no close request can ever arrive: end at once.
    if (!MainWindow) {
        ExitProcess(1);
    }
    for (;;) {
        ToolkitEvent.kind = 0;
        ToolkitEvent.window = 0;
        ToolkitEvent.gadget = 0;
        ToolkitEvent.type = 0;
        Dispatch(EventWait());
    }
}
