// D3DX9: one include for the code above the platform.
#pragma once

#include "platform/d3dx9/d3dx9core.h"
#include "platform/d3dx9/d3dx9math.h"
#include "platform/d3dx9/d3dx9tex.h"
#include "platform/d3dx9/effect.h"
#include "platform/d3dx9/mesh.h"
