// The water layers of a scene source: the slide layers "lake" (the lake
// layer with its own bump map, which the document carries in its GUID
// table) and "underwater" (the slide seen through moving water).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class DS_2D_Light;
class DS_DocResManager;

namespace tessaloom::scene_builder {

// True for the layer names this file makes.
bool IsWaterLayerName(const std::string& name);
// The layer for slide number `slide` (1 for the first); null for another
// name.  The lake's bump map goes into the manager's GUID data under the
// layer's key.  The keys are fixed per slide, so a document is the same
// from build to build.
DS_2D_Light* MakeWaterLayer(const std::string& name, DS_DocResManager& manager, size_t slide);
// The lake's bump map: `size` x `size` Q8W8V8U8 slopes of tiling swells
// (U and V; W 0, Q 1), as a DDS file.  Empty for a size outside 8..1024.
std::vector<uint8_t> MakeLakeBumpDds(int size);

}  // namespace tessaloom::scene_builder
