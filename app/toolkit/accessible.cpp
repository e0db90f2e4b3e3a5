// Names for screen readers. A control without a caption of its own (the
// direction list) is named by Windows after the static text before it, and
// a frame is a button, not a static, so it would be announced by its value
// alone. An annotation names it without changing what is drawn. GUI thread.
#include "app/toolkit/accessible.h"
#include "app/toolkit/registry.h"
#include "app/toolkit/toolkit.h"

#include "common/system_library.h"

namespace toolkit {

IAccPropServices* gPropServices;

namespace {

// The annotation service's class in oleacc, its interface, and the class
// factory's interface, spelt out so that no import library is needed.
constexpr GUID AccPropServicesClass = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID AccPropServicesInterface = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID ClassFactoryInterface = {
    0x00000001, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// oleacc from the system folder, its service made through its own class
// factory: neither the registry nor the program's folder decides which DLL
// answers. Windows 7 has the service.
IAccPropServices* PropServices() {
    if (gPropServices) {
        return gPropServices;
    }
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto getClassObject = SystemFunction<GetClassObject>(L"oleacc.dll", "DllGetClassObject");
    IClassFactory* factory = nullptr;
    if (!getClassObject ||
        FAILED(getClassObject(AccPropServicesClass, ClassFactoryInterface,
                              reinterpret_cast<void**>(&factory))) ||
        !factory) {
        return nullptr;
    }
    void* services = nullptr;
    if (SUCCEEDED(factory->CreateInstance(nullptr, AccPropServicesInterface, &services))) {
        gPropServices = static_cast<IAccPropServices*>(services);
    }
    factory->Release();
    return gPropServices;
}

} // namespace

// The annotation lives in the control's window properties; the accessibility
// layer asks that it be cleared before the window goes.
void ForgetGadgetName(HWND control) {
    if (gPropServices) {
        MSAAPROPID name = AccNameProperty;
        gPropServices->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                      &name, 1);
    }
}

void PropServicesEnd() {
    if (gPropServices) {
        gPropServices->Release();
        gPropServices = nullptr;
    }
}

} // namespace toolkit

using namespace toolkit;

bool GadgetSetName(uint32_t gadget, const wchar_t* name) {
    GadgetEntry* entry = FindGadget(gadget);
    IAccPropServices* services = entry && name ? PropServices() : nullptr;
    if (!services || FAILED(services->SetHwndPropStr(entry->hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                                     CHILDID_SELF, AccNameProperty, name))) {
        return false;
    }
    entry->named = true;
    return true;
}
