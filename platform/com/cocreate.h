// CoCreateInstance over a process-wide table of the classes the platform
// layer implements.  Each class registers its creator once, at start-up.
#pragma once

#include "platform/com/unknwn.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);

// Makes an object of class `clsid` and answers interface `iid` of it.
// Only in-process classes exist; aggregation (a non-null `outer`) is refused.
// An unknown class gives REGDB_E_CLASSNOTREG and *object = null.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);

namespace tessaloom::com {

// Makes a new object and answers `iid` of it (with one reference), or fails
// with *object = null.
using ClassCreator = HRESULT (*)(REFIID iid, void** object);

// Registers (or replaces) the creator of a class.  Safe from static initialisers.
void RegisterClassCreator(REFCLSID clsid, ClassCreator creator);

}  // namespace tessaloom::com
