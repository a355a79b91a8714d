#include "scene/sprites/stat_obj.h"

#include <algorithm>
#include <cmath>

#include "scene/noise.h"
#include "scene/sprites/sprite_array_obj.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_StatObjConstructor, DS_ABObj_Constructor)
DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_FlowerConstructor, DS_ABObj_Constructor)
DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_DischargeConstructor, DS_ABObj_Constructor)

DS_StatObjConstructor::DS_StatObjConstructor() {
    placement.x.value = static_cast<int>(LogicalWidth()) / 2;
    placement.y.value = static_cast<int>(LogicalHeight()) / 2;
    D3DXMatrixIdentity(&pose);
}

DS_StatObjConstructor::DS_StatObjConstructor(const DS_StatObjConstructor& o)
    : DS_BaseSpriteProp(o), placement(o.placement), rotation(o.rotation.value), pose(o.pose) {}

DS_StatObjConstructor::~DS_StatObjConstructor() = default;

DS_ABObj* DS_StatObjConstructor::CreateObject() {
    PrepareImages();
    return new DS_SpriteArrayObj(Clone());
}

void DS_StatObjConstructor::PlaceSprite(DS_SpriteRecord& s) {
    s.position = D3DXVECTOR3(static_cast<float>(placement.x.value), static_cast<float>(placement.y.value), 0.0f);
    s.FitHalfExtents(*this);
    s.ComposeColor(*this);
    // Unsigned degrees turned negative in float, never in unsigned arithmetic.
    D3DXMatrixRotationZ(&pose, -static_cast<float>(rotation.value) * ds_sprite::kPi / 180.0f);
    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    D3DXVec3TransformCoord(&s.right, &x, &pose);
    D3DXVec3TransformCoord(&s.up, &y, &pose);
    // The edges: the bounding box of the four corners, in whole pixels.
    const D3DXVECTOR3 k = s.GetCorner();
    const float wx = 2 * s.halfWidth * s.right.x, wy = 2 * s.halfWidth * s.right.y;
    const float hx = 2 * s.halfHeight * s.up.x, hy = 2 * s.halfHeight * s.up.y;
    const float xs[4] = {k.x, k.x + wx, k.x + hx, k.x + wx + hx};
    const float ys[4] = {k.y, k.y + wy, k.y + hy, k.y + wy + hy};
    placement.left.value = TruncateToInt(*std::min_element(xs, xs + 4));
    placement.right.value = TruncateToInt(*std::max_element(xs, xs + 4));
    placement.top.value = TruncateToInt(*std::min_element(ys, ys + 4));
    placement.bottom.value = TruncateToInt(*std::max_element(ys, ys + 4));
}

void DS_StatObjConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_StatObjConstructor", kVersion);
    placement.Write(ar);
    ar.WriteUInt(rotation.value);
    DS_BaseSpriteProp::WriteRecord(ar);
}

void DS_StatObjConstructor::ReadFields(DS_IOF_Virtual& ar, INT version) {
    placement.ReadFields(ar);
    ar.ReadUInt(rotation.value);
    // Version 1 kept the flips here; a nested sprite record of version 5 or
    // later reads them again.
    if (version <= 1) {
        ar.ReadInt(flipVertical.value);
        ar.ReadInt(flipHorizontal.value);
    }
    DS_BaseSpriteProp::ReadRecord(ar, *this);
}

void DS_StatObjConstructor::ReadRecord(DS_IOF_Virtual& ar, DS_StatObjConstructor& d) {
    const INT version = ReadRecordHeader(ar);
    d.ReadFields(ar, version);
}

DS_StatObjConstructor* DS_StatObjConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int version) {
    return DS_ReadSpriteKind<DS_StatObjConstructor>([&](DS_StatObjConstructor& d) { d.ReadFields(ar, version); });
}

// ----------------------------------------------------------------- flower --

void DS_FlowerConstructor::UpdateSprite(DS_SpriteRecord& s) {
    const float a = std::sin(clock);
    const float d = a * amplitude + 90.0f;
    const float t = ds_sprite::ShearFor((180.0f - d) * ds_sprite::kPi / 180.0f);
    const D3DXVECTOR3 lean(t, 1, 0);
    D3DXVec3TransformCoord(&s.up, &lean, &pose);
    s.position.x = static_cast<float>(placement.x.value) - t * s.right.x * s.halfHeight;
    s.position.y = static_cast<float>(placement.y.value) - t * s.right.y * s.halfHeight;
}

void DS_FlowerConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_FlowerConstructor", kVersion);
    ar.WriteFloat(amplitude);
    DS_StatObjConstructor::WriteRecord(ar);
}

DS_FlowerConstructor* DS_FlowerConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_FlowerConstructor>([&](DS_FlowerConstructor& d) {
        d.amplitude = 1.5f;
        ar.ReadFloat(d.amplitude);
        DS_StatObjConstructor::ReadRecord(ar, d);
    });
}

// -------------------------------------------------------------- discharge --

unsigned int DS_DischargeConstructor::NextFrame(unsigned int current) {
    if (sheetFrames < 2) return current;
    unsigned int f = current;
    while (f == current) f = static_cast<unsigned int>(crt::rand()) % sheetFrames;
    return f;
}

void DS_DischargeConstructor::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_DischargeConstructor", kVersion);
    DS_StatObjConstructor::WriteRecord(ar);
}

DS_DischargeConstructor* DS_DischargeConstructor::CreateFromArchive(DS_IOF_Virtual& ar, int) {
    return DS_ReadSpriteKind<DS_DischargeConstructor>(
        [&](DS_DischargeConstructor& d) { DS_StatObjConstructor::ReadRecord(ar, d); });
}
