// The Write and Read commands: find the cable's port, open it, exchange one
// request with the device (up to six tries while it stays silent), tell the
// user the outcome in one message box and close the port. GUI thread; the
// window takes no input while a command runs.
#include "commands/commands.h"

#include "app/main_window.h"
#include "app/toolkit/toolkit.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "link/serial_port.h"
#include "ports/discovery.h"

#include <cstdlib>
#include <cwchar>

CommandServices CommandLink = {FindDevicePort, MessageShow};

namespace {

constexpr uint32_t DevicePort = 0;
constexpr int MaxAttempts = 6;
constexpr uint32_t StyleError = MB_OK | MB_ICONERROR;
constexpr uint32_t StyleDone = MB_OK | MB_ICONINFORMATION;

const wchar_t* const CaptionWarning = L"Внимание";
const wchar_t* const CaptionDone = L"Выполнено";

// The texts one command shows; the two commands differ in their first line.
struct CommandTexts {
    const wchar_t* cableNotFound;
    const wchar_t* portBusy;
    const wchar_t* linkFailure;
    const wchar_t* noAnswer;
    const wchar_t* success;
};

const CommandTexts WriteTexts = {
    L"Запись отклонена!\nСистема не обнаружила соединительный шнур.\n"
    L"1.Установите драйвер к шнуру\n"
    L"2. Соедините компьютер с устройством посредством шнура.\n3. Повторите попытку\n",
    L"Запись отклонена!\nНе удалось открыть COM порт.\nВероятно, он занят другим приложением\n\n",
    L"Запись отклонена!\nНе удалось открыть COM порт.\nВероятно проблемы с соединительным "
    L"шнуром\n\n",
    L"Запись отклонена!\nУстройство не отвечает.",
    L"Операция записи выполнена удачно.",
};

const CommandTexts ReadTexts = {
    L"Чтение отклонено!\nСистема не обнаружила соединительный шнур.\n"
    L"1.Установите драйвер к шнуру\n"
    L"2. Соедините компьютер с устройством посредством шнура.\n3. Повторите попытку\n",
    L"Чтение отклонено!\nНе удалось открыть COM порт.\nВероятно, он занят другим приложением\n\n",
    L"Чтение отклонено!\nНе удалось открыть COM порт.\nВероятно проблемы с соединительным "
    L"шнуром\n\n",
    L"Чтение отклонено!\nУстройство не отвечает.",
    L"Операция чтение выполнена удачно.",
};

const wchar_t* const TextEepromError = L"Ошибка EEPROM";

// The decimal value of a list item's text ("1" to "16"); 0 for anything that
// is not a plain decimal number.
uint32_t DecimalValue(const std::wstring& text) {
    if (text.empty() || text.size() > 9) {
        return 0;
    }
    uint32_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return 0;
        }
        value = value * 10 + static_cast<uint32_t>(c - L'0');
    }
    return value;
}

// The wait cursor while a command works: the window takes no input
// meanwhile, and a silent device keeps it busy for up to two seconds. The
// user's cursor comes back before any message, so the box is answered with
// it, and on every way out of the command.
class BusyCursor {
  public:
    BusyCursor() {
        HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
        if (wait) {
            previous_ = SetCursor(wait);
            busy_ = true;
        }
    }
    ~BusyCursor() { End(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    void End() {
        if (!busy_) {
            return;
        }
        busy_ = false;
        // With no cursor before, the window's own arrow is what the user saw.
        SetCursor(previous_ ? previous_ : LoadCursorW(nullptr, IDC_ARROW));
    }

  private:
    HCURSOR previous_ = nullptr;
    bool busy_ = false;
};

// Every message of a command goes through here. Keys and clicks given while
// the command ran wait in the queue and would go to the box's button the
// moment it is up, answering a message nobody has read: they are dropped.
void Tell(BusyCursor& busy, const wchar_t* caption, const wchar_t* text, uint32_t style) {
    busy.End();
    EventDropInput();
    CommandLink.messageShow(caption, text, style);
}

void ClosePortIfOpen() {
    if (SerialIsOpen(DevicePort)) {
        SerialClose(DevicePort);
    }
}

// Steps shared by both commands: discovery, open, the settings from the
// window and up to six exchanges. Returns true with an accepted reply in
// RxFrame; otherwise it has shown the failure's message. The port may still
// be open either way: the caller closes it once its own message is shown.
bool ExchangeWithDevice(BusyCursor& busy, uint8_t command, const CommandTexts& texts,
                        uint32_t& direction, uint32_t& mode) {
    std::wstring port = CommandLink.findDevicePort();
    if (port.empty()) {
        Tell(busy, CaptionWarning, texts.cableNotFound, StyleError);
        return false;
    }
    ClosePortIfOpen();
    if (SerialOpen(DevicePort, port.c_str(), 9600, EVENPARITY, 8, 1.0, 0, 255, 255) < 1) {
        // A driver that kept our own call (this open, or a call of an earlier
        // command) holds the port: that is the cable, not another program.
        Tell(busy, CaptionWarning, SerialDriverHolds() ? texts.linkFailure : texts.portBusy,
             StyleError);
        return false;
    }

    // The settings are read once for the whole run; the list is read whatever
    // its enabled state, so a greyed direction is sent as well.
    direction = DecimalValue(GadgetGetText(DirectionList));
    mode = static_cast<uint32_t>(GadgetGetState(OptStandalone)) + 1;

    for (int attempt = 1;; ++attempt) {
        uint8_t result =
            ExchangeFrame(0, DeviceAddress, HostAddress, FrameFixed, command, direction, mode);
        // A closed port, a device its driver reports gone, or a call the
        // driver kept even after its cancel: no further try can get through,
        // and it is the cable, not a silent device.
        if (result == ExchangePortClosed || (result == ExchangeTimeout && SerialDriverHolds())) {
            Tell(busy, CaptionWarning, texts.linkFailure, StyleError);
            return false;
        }
        if (result != ExchangeTimeout && result != ExchangeBadReply) {
            return true;
        }
        // The device stayed silent or answered garbage: ask again at once; the
        // exchange's own time limits pace the attempts.
        if (attempt == MaxAttempts) {
            Tell(busy, CaptionWarning, texts.noAnswer, StyleError);
            return false;
        }
    }
}

// Shows the device's settings from an accepted read reply in the window: the
// same pair of states a user's click on an option gives.
void ShowDeviceSettings(uint8_t direction, uint8_t mode) {
    wchar_t text[4]; // up to "255"
    _ultow(direction, text, 10);
    GadgetSetText(DirectionList, text);
    if (mode == ModeSlave) {
        GadgetSetState(OptSlave, 1);
        GadgetSetState(OptStandalone, 0);
        GadgetDisable(DirectionList, 0);
    } else {
        GadgetSetState(OptSlave, 0);
        GadgetSetState(OptStandalone, 1);
        GadgetDisable(DirectionList, 1);
    }
}

} // namespace

void WriteCommand(uint32_t eventType) {
    if (eventType != EventTypeClick) {
        return;
    }
    BusyCursor busy;
    uint32_t direction = 0, mode = 0;
    if (ExchangeWithDevice(busy, CmdWrite, WriteTexts, direction, mode)) {
        // The device echoes what it stored: anything else means its EEPROM
        // did not take the values. Not retried.
        if (RxFrame[ByteDirection] == static_cast<uint8_t>(direction) &&
            RxFrame[ByteMode] == static_cast<uint8_t>(mode)) {
            Tell(busy, CaptionDone, WriteTexts.success, StyleDone);
        } else {
            Tell(busy, CaptionWarning, TextEepromError, StyleError);
        }
    }
    ClosePortIfOpen();
}

void ReadCommand(uint32_t eventType) {
    if (eventType != EventTypeClick) {
        return;
    }
    BusyCursor busy;
    uint32_t direction = 0, mode = 0;
    if (ExchangeWithDevice(busy, CmdRead, ReadTexts, direction, mode)) {
        // Copy the reply first: the window is updated only after the user has
        // dismissed the message.
        uint8_t deviceDirection = RxFrame[ByteDirection];
        uint8_t deviceMode = RxFrame[ByteMode];
        Tell(busy, CaptionDone, ReadTexts.success, StyleDone);
        ShowDeviceSettings(deviceDirection, deviceMode);
    }
    ClosePortIfOpen();
}
