#include "document/res_types.h"

#include "platform/com/objbase.h"

void DS_ImageSet::SetSingle(const DS_TextureInfo& info) {
    frames_.assign(1, info.texture);
    width = info.width;
    height = info.height;
    aspect = info.aspect;
}

void DS_ImageSet::AddFrame(const DS_TextureInfo& info) {
    frames_.push_back(info.texture);
    width = info.width;
    height = info.height;
    aspect = info.aspect;
}

void DS_ImageSet::SetFrame(size_t i, const DS_TextureInfo& info) {
    if (i >= frames_.size()) return;
    frames_[i] = info.texture;
    width = info.width;
    height = info.height;
    aspect = info.aspect;
}

DS_TextureInfo DS_ImageSet::GetFirst() const {
    DS_TextureInfo info;
    if (frames_.empty()) return info;
    info.texture = frames_.front();
    info.width = width;
    info.height = height;
    info.aspect = aspect;
    return info;
}

DS_GuidData::DS_GuidData() {
    if (FAILED(CoCreateGuid(&guid))) guid = GUID{};
}
