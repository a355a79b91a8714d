// Stored classes, their readers and the class-name registries.
//
// A record of class T is: T's class name (string), an int32 version, T's own
// fields, then the record of T's stored base, framed the same way, down to the
// root of the chain.  Reading is not virtual: each class has its own reading
// functions and a registered class has a static reader kept in a registry
// under its class name (compared unit by unit, case-sensitive).
#pragma once

#include <map>
#include <string>

#include "document/archive.h"

// Base of every class stored in the scene document.
class DS_IOF_Item {
public:
    virtual ~DS_IOF_Item() = default;
    // Writes the object's complete record, the exact bytes its reader consumes.
    virtual void Write(DS_IOF_Virtual& archive) = 0;
};

// A reader of the registry whose objects are of base B.  Create makes a new
// object of the reader's class, reads it for `version`, and gives it to the
// caller.
template <class B>
class IOF_Virtual_ReaderII {
public:
    virtual ~IOF_Virtual_ReaderII() = default;
    virtual B* Create(DS_IOF_Virtual& archive, int version) = 0;
};

// A class-name registry: the wide class name to the static reader object.
template <class B>
using DS_ReaderRegistry = std::map<std::u16string, IOF_Virtual_ReaderII<B>*>;

// The reader of class T for the registry of base B.  T provides
//   static T* CreateFromArchive(DS_IOF_Virtual& archive, int version);
// which makes a T with its defaults, reads its fields for that version and
// then its base records (throwing on any fault; nothing half-read escapes).
template <class T, class B>
class IOF_Virtual_ReaderT_II final : public IOF_Virtual_ReaderII<B> {
public:
    B* Create(DS_IOF_Virtual& archive, int version) override { return T::CreateFromArchive(archive, version); }
};

// Reads a record header (class name and version) and returns the version.
// The name is not compared with anything: a base record whose name is not the
// expected one is read all the same.
inline INT ReadRecordHeader(DS_IOF_Virtual& archive, std::u16string* name = nullptr) {
    std::u16string className;
    INT version = 0;
    archive.ReadString(className);
    archive.ReadInt(version);
    if (name) *name = std::move(className);
    return version;
}

// Writes a record header.
inline void WriteRecordHeader(DS_IOF_Virtual& archive, const std::u16string& className, INT version) {
    archive.WriteString(className);
    archive.WriteInt(version);
}

[[noreturn]] void DS_ThrowUnknownClass(const std::u16string& name);

// The polymorphic read: class name, version, then the registered reader's
// Create.  A name the registry does not hold stops the load (DS_LoadError):
// the format has no record lengths, so nothing after it could be found.  The
// result is never null.
template <class B>
B* ReadByClassName(const DS_ReaderRegistry<B>& registry, DS_IOF_Virtual& archive) {
    std::u16string name;
    INT version = ReadRecordHeader(archive, &name);
    auto it = registry.find(name);
    if (it == registry.end()) DS_ThrowUnknownClass(name);
    B* object = it->second->Create(archive, version);
    if (!object) DS_ThrowUnknownClass(name);
    return object;
}

// Registration from a static initialiser: stores the reader under the name,
// replacing any earlier entry.  Every executable links the libraries whole, so
// registrations in library code are kept.
template <class B>
struct DS_ReaderRegistration {
    DS_ReaderRegistration(DS_ReaderRegistry<B>& registry, const char16_t* name, IOF_Virtual_ReaderII<B>* reader) {
        registry[name] = reader;
    }
};

#define DS_CONCAT_INNER(a, b) a##b
#define DS_CONCAT(a, b) DS_CONCAT_INNER(a, b)
// DS_REGISTER_READER(GetLightReaderRegistry(), DS_FlameLight, DS_2D_Light)
// registers the reader of class T under the name "T" in the registry of base B.
#define DS_REGISTER_READER(registryExpr, T, B)                                                    \
    namespace {                                                                                    \
    IOF_Virtual_ReaderT_II<T, B> DS_CONCAT(ds_reader_, T);                                         \
    const DS_ReaderRegistration<B> DS_CONCAT(ds_registration_, T)(registryExpr, u## #T,            \
                                                                  &DS_CONCAT(ds_reader_, T));      \
    }

// The three registries of the scene.  Their families are defined by the scene
// code; here they only need to be named.
class DS_2D_Light;
class DS_SlideContainer;
class DS_ABObj_Constructor;

// Object descriptions and shader effects.
using IOF_Virtual_Reader = IOF_Virtual_ReaderII<DS_ABObj_Constructor>;
template <class T>
using IOF_Virtual_ReaderT = IOF_Virtual_ReaderT_II<T, DS_ABObj_Constructor>;

// Each registry is made empty on first use (the first registration, during
// start-up) and destroyed at exit; the reader objects are static.
DS_ReaderRegistry<DS_2D_Light>& GetLightReaderRegistry();
DS_ReaderRegistry<DS_SlideContainer>& GetSlideContainerReaderRegistry();
DS_ReaderRegistry<DS_ABObj_Constructor>& GetConstructorReaderRegistry();

DS_2D_Light* ReadLightByClassName(DS_IOF_Virtual& archive);
DS_SlideContainer* ReadSlideContainerByClassName(DS_IOF_Virtual& archive);
DS_ABObj_Constructor* ReadConstructorByClassName(DS_IOF_Virtual& archive);
