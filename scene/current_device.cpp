#include "scene/current_device.h"

IDirect3DDevice9* CurrentDevice = nullptr;
