// The accessibility layer's annotation service through which a control gets
// the name a screen reader announces (GadgetSetName): oleacc's, made on
// first use. Internal to app/toolkit; the toolkit's tests put a stand-in of
// their own here to see the calls. GUI thread only.
#pragma once

#include <windows.h>

#include <oleacc.h>

namespace toolkit {

// Null until the first name is given; released at the toolkit's end.
extern IAccPropServices* gPropServices;

// The accessibility layer's property for a control's name.
constexpr GUID AccNameProperty = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

// Drops the name given to a control that is going (controls.cpp); releases
// the service at the toolkit's end.
void ForgetGadgetName(HWND control);
void PropServicesEnd();

} // namespace toolkit
