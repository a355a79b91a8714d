// The Win32 API of the platform layer: one include for the code above it.
#pragma once

#include "platform/win32/types.h"
#include "platform/win32/input.h"
#include "platform/win32/dialog.h"
#include "platform/win32/gdi.h"
#include "platform/win32/kernel.h"
#include "platform/win32/message_box.h"
#include "platform/win32/messages.h"
#include "platform/win32/monitors.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/resources.h"
#include "platform/win32/window.h"
