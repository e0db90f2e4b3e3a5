// Enumerating the present serial ports with SetupAPI and the SERIALCOMM map:
// each port's name, hardware IDs and problem code. On a machine with a wedged
// USB device any of these calls may block, which is why the tool runs them on
// a worker thread of their own (bounded_run.cpp).
#include "tools/zizidivu/serial_ports.h"

#include <windows.h>

#include <setupapi.h>

#include "common/holders.h"
#include "tools/zizidivu/port_lines.h"

namespace {

// The Ports device class (COM and LPT ports).
const GUID PortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// DEVPKEY_Device_ProblemCode: the device node's CM_PROB_* code, the number
// Device Manager shows as "Code 10". Spelled out here so that no GUID needs
// instantiating from the headers.
const DEVPROPKEY ProblemCodeKey = {
    {0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}}, 3};

// A registry string of `bytes` bytes, which need not end with a zero.
std::wstring TextOf(const std::vector<BYTE>& data, DWORD bytes) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t));
    const size_t zero = text.find(L'\0');
    if (zero != std::wstring::npos) {
        text.resize(zero);
    }
    return text;
}

std::wstring QueryString(HKEY key, const wchar_t* value) {
    std::vector<BYTE> data(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(data.size());
        const LONG rc = RegQueryValueExW(key, value, nullptr, &type, data.data(), &bytes);
        if (rc == ERROR_MORE_DATA) {
            data.resize(bytes + sizeof(wchar_t));
            continue;
        }
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::wstring();
        }
        return TextOf(data, bytes);
    }
    return std::wstring();
}

// Reads the registry properties of devices into one buffer kept for the
// whole enumeration, large enough from the start for any name or list of
// hardware IDs that drivers give, so that each property of each device is
// read with one call.
class DevicePropertyReader {
  public:
    // The property's text; empty when the device has none, it cannot be
    // read, or it is not a string.
    std::wstring Text(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
        DWORD bytes = 0;
        if (Read(set, device, property, REG_SZ, bytes)) {
            return TextOf(buffer_, bytes);
        }
        return std::wstring();
    }

    // The strings of a REG_MULTI_SZ property such as SPDRP_HARDWAREID; none
    // when the device has no such property.
    std::vector<std::wstring> Strings(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
        std::vector<std::wstring> strings;
        DWORD bytes = 0;
        if (!Read(set, device, property, REG_MULTI_SZ, bytes)) {
            return strings;
        }
        const std::wstring_view all(reinterpret_cast<const wchar_t*>(buffer_.data()),
                                    bytes / sizeof(wchar_t));
        size_t start = 0;
        while (start < all.size()) {
            const size_t zero = all.find(L'\0', start);
            const size_t end = zero == std::wstring_view::npos ? all.size() : zero;
            if (end == start) {
                break; // the empty string that ends the list
            }
            strings.emplace_back(all.substr(start, end - start));
            start = end + 1;
        }
        return strings;
    }

  private:
    static constexpr size_t InitialBytes = 4096;

    // The property's bytes into the buffer when it is of type `wanted`. The
    // buffer grows only for a value longer than any before it.
    bool Read(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, DWORD wanted, DWORD& bytes) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD needed = 0;
            DWORD type = 0;
            if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, buffer_.data(),
                                                  static_cast<DWORD>(buffer_.size()), &needed)) {
                bytes = needed <= buffer_.size() ? needed : static_cast<DWORD>(buffer_.size());
                return type == wanted;
            }
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer_.size()) {
                return false;
            }
            // Room for the terminating zeros a driver may have left out.
            buffer_.resize(needed + 2 * sizeof(wchar_t));
        }
        return false;
    }

    std::vector<BYTE> buffer_ = std::vector<BYTE>(InitialBytes);
};

// The device node's problem code, 0 when it has none or when it cannot be
// read (then the port is listed as if it worked, as before).
unsigned long ProblemCode(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DEVPROPTYPE type = 0;
    ULONG code = 0;
    DWORD needed = 0;
    if (!SetupDiGetDevicePropertyW(set, &device, &ProblemCodeKey, &type,
                                   reinterpret_cast<BYTE*>(&code), sizeof(code), &needed, 0)) {
        return 0;
    }
    if ((type != DEVPROP_TYPE_UINT32 && type != DEVPROP_TYPE_INT32) || needed != sizeof(code)) {
        return 0;
    }
    return code;
}

bool IsParallelPort(const std::wstring& port) {
    return port.size() >= 3 && SamePortName(std::wstring_view(port).substr(0, 3), L"LPT");
}

bool Listed(const std::vector<SerialPortEntry>& ports, const std::wstring& port) {
    for (const auto& entry : ports) {
        if (SamePortName(entry.port, port)) {
            return true;
        }
    }
    return false;
}

// Each device's port name, then (for a COM port not listed yet) its name,
// hardware IDs and problem code, each read once.
void AddSetupApiPorts(std::vector<SerialPortEntry>& ports, PortCollection& found) {
    DeviceInfoSet set(SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.IsValid()) {
        return;
    }
    DevicePropertyReader properties;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(set.Get(), index, &device)) {
            break; // ERROR_NO_MORE_ITEMS, or nothing more we could read
        }
        std::wstring port;
        {
            RegistryKey key(SetupDiOpenDevRegKey(set.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                                 KEY_QUERY_VALUE));
            if (!key.IsValid()) {
                continue;
            }
            port = QueryString(key.Get(), L"PortName");
        }
        if (port.empty() || IsParallelPort(port) || Listed(ports, port)) {
            continue;
        }
        SerialPortEntry entry;
        entry.name = properties.Text(set.Get(), device, SPDRP_FRIENDLYNAME);
        if (entry.name.empty()) {
            entry.name = properties.Text(set.Get(), device, SPDRP_DEVICEDESC);
        }
        entry.upperName = UpperCase(entry.name);
        entry.port = std::move(port);
        entry.hardwareIds = properties.Strings(set.Get(), device, SPDRP_HARDWAREID);
        entry.problem = ProblemCode(set.Get(), device);
        found.Add(entry);
        ports.push_back(std::move(entry));
    }
}

// Ports that Windows knows as serial but that have no Ports-class device,
// such as those of some virtual port drivers. Listed under their device name.
void AddDeviceMapPorts(std::vector<SerialPortEntry>& ports, PortCollection& found) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &opened) != ERROR_SUCCESS) {
        return; // no key: no such ports
    }
    RegistryKey key(opened);
    std::vector<wchar_t> valueName(16384);
    std::vector<BYTE> data(1024);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(valueName.size());
        DWORD bytes = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG rc = RegEnumValueW(key.Get(), index, valueName.data(), &nameLength, nullptr,
                                      &type, data.data(), &bytes);
        if (rc == ERROR_MORE_DATA) {
            continue; // a port name of more than 512 characters is no COM port
        }
        if (rc != ERROR_SUCCESS) {
            break;
        }
        if (type != REG_SZ) {
            continue;
        }
        std::wstring port = TextOf(data, bytes);
        if (port.empty() || Listed(ports, port)) {
            continue;
        }
        SerialPortEntry entry;
        entry.name.assign(valueName.data(), nameLength);
        entry.upperName = UpperCase(entry.name);
        entry.port = std::move(port);
        found.Add(entry);
        ports.push_back(std::move(entry));
    }
}

} // namespace

void PortCollection::Add(const SerialPortEntry& entry) {
    CriticalSectionLock hold(lock_);
    ports_.push_back(entry);
}

std::vector<SerialPortEntry> PortCollection::Copy() {
    CriticalSectionLock hold(lock_);
    return ports_;
}

std::wstring UpperCase(const std::wstring& text) {
    if (text.empty()) {
        return text;
    }
    // kernel32 only: CharUpperBuffW would pull in user32, whose start-up (a
    // desktop connection) costs more than everything else this tool does.
    std::wstring upper(text);
    const int length = static_cast<int>(text.size());
    int got = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), length,
                            upper.data(), length, nullptr, nullptr, 0);
    if (got != length) {
        got = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.c_str(), length, upper.data(),
                           length);
    }
    if (got != length) {
        return text; // written as the driver gives it
    }
    return upper;
}

void ListSerialPorts(PortCollection& found) {
    // The enumeration's own list, for telling which ports it has seen.
    std::vector<SerialPortEntry> ports;
    AddSetupApiPorts(ports, found);
    AddDeviceMapPorts(ports, found);
}
