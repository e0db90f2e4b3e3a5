// Small owners that give a Win32 resource back when the scope that took it
// ends, on every path: a kernel handle, a registry key, a SetupAPI device
// set, a GDI object, a memory device context and a critical-section lock. Used by both programs, on
// whichever thread made the holder; a holder is never shared between threads.
#pragma once

#include <windows.h>

#include <setupapi.h>

// A kernel handle (file, process, thread). Both NULL and INVALID_HANDLE_VALUE
// mean "none": CreateFileW fails with the one, CreateProcessW and
// ShellExecuteExW leave the other when there is no process, and the caller
// should not have to know which call filled it.
class Handle {
  public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    // Closes now, for a caller that must know whether the close worked (a
    // written file whose last data may only fail here); true when none is held.
    bool Close() {
        if (!IsValid()) {
            return true;
        }
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = nullptr;
        return closed;
    }

  private:
    HANDLE handle_;
};

// A registry key. RegOpenKeyExW leaves NULL on failure while
// SetupDiOpenDevRegKey returns INVALID_HANDLE_VALUE, so both mean "none".
class RegistryKey {
  public:
    explicit RegistryKey(HKEY key = nullptr) : key_(key) {}
    ~RegistryKey() {
        if (IsValid()) {
            RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY Get() const { return key_; }
    bool IsValid() const { return key_ != nullptr && key_ != INVALID_HANDLE_VALUE; }

  private:
    HKEY key_;
};

// A SetupAPI device information set. SetupDiGetClassDevsW fails with
// INVALID_HANDLE_VALUE, which is then the only "none".
class DeviceInfoSet {
  public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    ~DeviceInfoSet() {
        if (IsValid()) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    HDEVINFO Get() const { return set_; }
    bool IsValid() const { return set_ != INVALID_HANDLE_VALUE; }

  private:
    HDEVINFO set_;
};

// A GDI object made for one use (a font, a bitmap). Deselect it from any
// device context before the scope ends: a selected object is not deleted.
class GdiObject {
  public:
    explicit GdiObject(HGDIOBJ object = nullptr) : object_(object) {}
    ~GdiObject() {
        if (object_) {
            DeleteObject(object_);
        }
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    HGDIOBJ Get() const { return object_; }

  private:
    HGDIOBJ object_;
};

// A memory device context compatible with the screen.
class MemoryDc {
  public:
    MemoryDc() : dc_(CreateCompatibleDC(nullptr)) {}
    ~MemoryDc() {
        if (dc_) {
            DeleteDC(dc_);
        }
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;

    HDC Get() const { return dc_; }

  private:
    HDC dc_;
};

// Holds a critical section from the guard's line to the end of its scope.
// Where the hold must end before the function does (say, before a handle is
// closed or a worker may be ended), the guard gets a block of its own, so
// that the lock is held exactly where a hand-written Enter/Leave pair held it.
class CriticalSectionLock {
  public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) : section_(section) {
        EnterCriticalSection(&section_);
    }
    ~CriticalSectionLock() { LeaveCriticalSection(&section_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

  private:
    CRITICAL_SECTION& section_;
};
