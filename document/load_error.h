// The failure of a scene document load.
//
// Every fault found while reading a document (bytes missing, a length that
// cannot fit, a class name no registry knows) is raised as DS_LoadError, its
// text saying what was wrong and where.  The host writes that text to stderr
// and reports the failure exactly like a missing document, with the same
// result code.
#pragma once

#include <stdexcept>
#include <string>

#include "document/result_codes.h"
#include "platform/win32/types.h"

class DS_LoadError : public std::runtime_error {
public:
    explicit DS_LoadError(const std::string& what) : std::runtime_error(what) {}
    DWORD Code() const { return static_cast<DWORD>(kMediaLoadFailed); }
};
