// Enumerating the present serial ports with SetupAPI and the SERIALCOMM map:
// each port's name, hardware IDs and problem code. None of these calls waits
// on anything. Called on the tool's only thread.
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

// The bytes of a device's registry property, and its type; none when the
// device has no such property or it cannot be read.
std::vector<BYTE> RawDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                                    DWORD& type) {
    std::vector<BYTE> data(512);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0;
        type = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, data.data(),
                                              static_cast<DWORD>(data.size()), &needed)) {
            data.resize(needed <= data.size() ? needed : data.size());
            return data;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= data.size()) {
            return {};
        }
        // Room for the terminating zeros a driver may have left out.
        data.resize(needed + 2 * sizeof(wchar_t));
    }
    return {};
}

std::wstring DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD type = 0;
    const std::vector<BYTE> data = RawDeviceProperty(set, device, property, type);
    if (type != REG_SZ) {
        return std::wstring();
    }
    return TextOf(data, static_cast<DWORD>(data.size()));
}

// The strings of a REG_MULTI_SZ property such as SPDRP_HARDWAREID; none when
// the device has no such property.
std::vector<std::wstring> DeviceStrings(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<std::wstring> strings;
    DWORD type = 0;
    const std::vector<BYTE> data = RawDeviceProperty(set, device, property, type);
    if (type != REG_MULTI_SZ) {
        return strings;
    }
    const std::wstring_view all(reinterpret_cast<const wchar_t*>(data.data()),
                                data.size() / sizeof(wchar_t));
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

void AddSetupApiPorts(std::vector<SerialPortEntry>& ports) {
    DeviceInfoSet set(SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.IsValid()) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(set.Get(), index, &device)) {
            break; // ERROR_NO_MORE_ITEMS, or nothing more we could read
        }
        RegistryKey key(SetupDiOpenDevRegKey(set.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                             KEY_QUERY_VALUE));
        if (!key.IsValid()) {
            continue;
        }
        std::wstring port = QueryString(key.Get(), L"PortName");
        if (port.empty() || IsParallelPort(port) || Listed(ports, port)) {
            continue;
        }
        std::wstring name = DeviceProperty(set.Get(), device, SPDRP_FRIENDLYNAME);
        if (name.empty()) {
            name = DeviceProperty(set.Get(), device, SPDRP_DEVICEDESC);
        }
        SerialPortEntry entry;
        entry.upperName = UpperCase(name);
        entry.name = std::move(name);
        entry.port = std::move(port);
        entry.hardwareIds = DeviceStrings(set.Get(), device, SPDRP_HARDWAREID);
        entry.problem = ProblemCode(set.Get(), device);
        ports.push_back(std::move(entry));
    }
}

// Ports that Windows knows as serial but that have no Ports-class device,
// such as those of some virtual port drivers. Listed under their device name.
void AddDeviceMapPorts(std::vector<SerialPortEntry>& ports) {
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
        ports.push_back(std::move(entry));
    }
}

} // namespace

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

std::vector<SerialPortEntry> ListSerialPorts() {
    std::vector<SerialPortEntry> ports;
    AddSetupApiPorts(ports);
    AddDeviceMapPorts(ports);
    return ports;
}
