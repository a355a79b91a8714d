// The failure of a scene document load.
//
// Every fault found while reading a document (bytes missing, a length that
// cannot fit, a class name no registry knows) is raised as DS_LoadError.  The
// host reports it exactly like a missing document, with the same result code.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/win32/types.h"

// The host's "scene could not be loaded" result code.
constexpr DWORD DS_LOAD_ERROR_CODE = 0x8200000Bu;

class DS_LoadError : public std::runtime_error {
public:
    explicit DS_LoadError(const std::string& what) : std::runtime_error(what) {}
    DWORD Code() const { return DS_LOAD_ERROR_CODE; }
};
