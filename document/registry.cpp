#include "document/item.h"

#include "platform/win32/types.h"

namespace {

// Class names are ASCII in practice; anything else is shown as '?'.
std::string Printable(const std::u16string& name) {
    std::string out;
    out.reserve(name.size());
    for (char16_t c : name) out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    return out;
}

}  // namespace

void DS_ThrowUnknownClass(const std::u16string& name) {
    throw DS_LoadError("scene document names an unknown class \"" + Printable(name) + "\"");
}

DS_ReaderRegistry<DS_2D_Light>& GetLightReaderRegistry() {
    static DS_ReaderRegistry<DS_2D_Light> registry;
    return registry;
}

DS_ReaderRegistry<DS_SlideContainer>& GetSlideContainerReaderRegistry() {
    static DS_ReaderRegistry<DS_SlideContainer> registry;
    return registry;
}

DS_ReaderRegistry<DS_ABObj_Constructor>& GetConstructorReaderRegistry() {
    static DS_ReaderRegistry<DS_ABObj_Constructor> registry;
    return registry;
}

DS_2D_Light* ReadLightByClassName(DS_IOF_Virtual& archive) {
    return ReadByClassName(GetLightReaderRegistry(), archive);
}

DS_SlideContainer* ReadSlideContainerByClassName(DS_IOF_Virtual& archive) {
    return ReadByClassName(GetSlideContainerReaderRegistry(), archive);
}

DS_ABObj_Constructor* ReadConstructorByClassName(DS_IOF_Virtual& archive) {
    return ReadByClassName(GetConstructorReaderRegistry(), archive);
}
