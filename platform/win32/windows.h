// The Win32 API of the platform layer: one include for the code above it.
#pragma once

#include "platform/win32/types.h"
#include "platform/win32/kernel.h"
#include "platform/win32/resources.h"
