// IUnknown: the reference-counted base of every COM-style interface of the
// platform (Direct3D objects, effects, meshes, the sound graph).
#pragma once

#include "platform/com/guid.h"

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;  // objects are destroyed through Release()
};
using LPUNKNOWN = IUnknown*;
