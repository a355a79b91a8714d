// ComObject<Interfaces...>: QueryInterface, AddRef and Release written once
// for the stand-ins' COM objects.
//
//   template <> struct ComInterfaceIds<ID3DXBuffer> : ComIds<IID_ID3DXBuffer> {};
//   class Buffer final : public ComObject<ID3DXBuffer> { ... };
//
// QueryInterface answers IID_IUnknown (as the first interface) and every
// identifier ComInterfaceIds<I> lists for each interface I, adding a
// reference; anything else is E_NOINTERFACE with the result pointer cleared,
// a null result pointer E_POINTER.  The reference count is atomic (objects of
// the sound graph are released on other threads) and the last Release
// deletes the object.  An object that answers identifiers of its own (a
// private implementation identifier, one chosen at run time) overrides
// QueryOther; one whose count belongs to another object (a pin counts on its
// filter) overrides AddRef and Release.
#pragma once

#include <atomic>
#include <tuple>

#include "platform/com/unknwn.h"

// The identifiers an interface answers to besides IID_IUnknown: its own and
// those of the interfaces it derives from.  Specialised beside the object
// that implements the interface, as ComIds<...>.
template <class Interface>
struct ComInterfaceIds;

template <const IID&... Ids>
struct ComIds {
    static constexpr const IID* ids[] = {&Ids...};
};

template <class... Interfaces>
class ComObject : public Interfaces... {
    static_assert(sizeof...(Interfaces) > 0, "a COM object implements at least one interface");
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = Find(iid);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;
    // The interface pointer for an identifier ComInterfaceIds does not list;
    // null for none.
    virtual void* QueryOther(REFIID) { return nullptr; }
    ULONG ReferenceCount() const { return refs_; }

private:
    void* Find(REFIID iid) {
        if (iid == IID_IUnknown) return static_cast<First*>(this);
        void* found = nullptr;
        ((found = found ? found : Match<Interfaces>(iid)), ...);
        return found ? found : QueryOther(iid);
    }
    template <class Interface>
    void* Match(REFIID iid) {
        for (const IID* id : ComInterfaceIds<Interface>::ids)
            if (*id == iid) return static_cast<Interface*>(this);
        return nullptr;
    }

    std::atomic<ULONG> refs_{1};
};
