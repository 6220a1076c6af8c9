// Shared helper for the tests that read accessible objects (MSAA).
#pragma once

#include <windows.h>

#include <oleacc.h>

namespace tamsrove::test {

/// The child id that names an accessible object's own element.
inline VARIANT AccessibleSelf() {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = CHILDID_SELF;
    return v;
}

} // namespace tamsrove::test
