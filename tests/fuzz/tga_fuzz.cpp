// Fuzz target of the TGA picture decoder.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzDecoder(tessaloom::d3dx::DecodeTga, data, size);
}
