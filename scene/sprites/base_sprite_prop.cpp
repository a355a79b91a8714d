#include "scene/sprites/base_sprite_prop.h"

#include <algorithm>
#include <cmath>

#include "document/convert.h"
#include "document/res_manager.h"
#include "scene/sprites/sprite_array_obj.h"
#include "scene/view_2d.h"

namespace {

// The alpha byte is trunc(255 - 2.55 x raw percent).
constexpr float kTransparencyScale = -2.55f;
constexpr float kTransparencyOffset = 255.0f;

}  // namespace

float ds_sprite::ShearFor(float theta) {
    const float t = std::tan(theta);
    // tan near 0 (or exactly 0 at 180 degrees, -0 at 360) would give an
    // infinite or enormous slant.
    if (!(std::fabs(t) > 1.0f / kMaxShear)) return std::signbit(t) ? -kMaxShear : kMaxShear;
    return 1.0f / t;
}

double DS_BaseSpriteProp::SpriteArea() const {
    const double side = static_cast<double>(size.value) * std::max(std::fabs(sizeMin), std::fabs(sizeMax));
    return side * side;
}

// ------------------------------------------------------------ the record --

void DS_SpriteRecord::Init(const DS_BaseSpriteProp& props) {
    drift = D3DXVECTOR3(0, 0, 0);
    velocity = D3DXVECTOR3(0, 0, 0);
    position = D3DXVECTOR3(100, 100, 0);
    right = D3DXVECTOR3(1, 0, 0);
    up = D3DXVECTOR3(0, 1, 0);
    D3DXMatrixIdentity(&spin);
    aspect = props.PictureAspect();
    // A sheet of 0 frames is shown as one frame (as NextFrame keeps it on frame 0).
    if (props.sheetOn) aspect = aspect * static_cast<float>(props.sheetFrames > 1 ? props.sheetFrames : 1);
    const float r = ds_sprite::R();
    sizeFactor = props.sizeMin + r * (props.sizeMax - props.sizeMin);
    FitHalfExtents(props);
}

void DS_SpriteRecord::FitHalfExtents(const DS_BaseSpriteProp& props) {
    const float e = sizeFactor * static_cast<float>(props.size.value) * 0.5f;
    if (aspect >= 1.0f) {
        halfHeight = e;
        halfWidth = e / aspect;
    } else {
        halfWidth = e;
        halfHeight = e * aspect;
    }
}

D3DXVECTOR3 DS_SpriteRecord::GetCorner() const {
    return D3DXVECTOR3(position.x - halfWidth * right.x - halfHeight * up.x,
                       position.y - halfWidth * right.y - halfHeight * up.y,
                       position.z - halfWidth * right.z - halfHeight * up.z);
}

bool DS_SpriteRecord::IsPastMinX(const DS_BaseSpriteProp& p) const { return p.GetLeft() > position.x + std::fabs(halfWidth); }
bool DS_SpriteRecord::IsPastMaxX(const DS_BaseSpriteProp& p) const { return position.x - std::fabs(halfWidth) > p.GetRight(); }
bool DS_SpriteRecord::IsPastMinY(const DS_BaseSpriteProp& p) const { return p.GetTop() > position.y + std::fabs(halfHeight); }
bool DS_SpriteRecord::IsPastMaxY(const DS_BaseSpriteProp& p) const { return position.y - std::fabs(halfHeight) > p.GetBottom(); }
bool DS_SpriteRecord::IsPartlyPastMinY(const DS_BaseSpriteProp& p) const { return p.GetTop() > position.y - halfHeight; }
bool DS_SpriteRecord::IsPartlyPastMaxY(const DS_BaseSpriteProp& p) const { return position.y + halfHeight > p.GetBottom(); }
bool DS_SpriteRecord::IsPartlyPastMaxX(const DS_BaseSpriteProp& p) const { return position.x + halfWidth > p.GetRight(); }

void DS_SpriteRecord::ComposeColor(const DS_BaseSpriteProp& props) {
    const DWORD c = props.color.value;  // 0x00BBGGRR
    const DWORD r = c & 0xFFu, g = (c >> 8) & 0xFFu, b = (c >> 16) & 0xFFu;
    const float product = static_cast<float>(props.transparency.Converted()) * alphaPhase;
    const DWORD a = static_cast<DWORD>(static_cast<uint32_t>(DS_TruncateToInt32(product)) & 0xFFu);
    color = (a << 24) | (r << 16) | (g << 8) | b;
}

// ------------------------------------------------------- the description --

DS_BaseSpriteProp::DS_BaseSpriteProp() { transparency.SetFactor(kTransparencyScale, kTransparencyOffset); }

DS_BaseSpriteProp::DS_BaseSpriteProp(const DS_BaseSpriteProp& o)
    : DS_ViewObjCtrl(o),
      count(o.count.value),
      size(o.size.value),
      additive(o.additive.value),
      color(o.color.value),
      pulseSpeed(o.pulseSpeed),
      pulseMin(o.pulseMin),
      pulseMax(o.pulseMax),
      sizeMin(o.sizeMin),
      sizeMax(o.sizeMax),
      image(o.image),
      mask(o.mask),
      spareCount(o.spareCount),
      spareRate(o.spareRate),
      sheetFrames(o.sheetFrames),
      sheetRate(o.sheetRate),
      sheetOn(o.sheetOn),
      imageSetMode(o.imageSetMode),
      flipVertical(o.flipVertical.value),
      flipHorizontal(o.flipHorizontal.value),
      updateOnFrameChange(o.updateOnFrameChange.value),
      oldFrameDelays(o.oldFrameDelays),
      oldFrameFiles(o.oldFrameFiles),
      oldMaskFile(o.oldMaskFile) {
    transparency.SetFactor(o.transparency.GetFactor(), o.transparency.GetOffset());
    transparency.SetValue(o.transparency.value);
}

DS_BaseSpriteProp::~DS_BaseSpriteProp() = default;

DS_ABObj* DS_BaseSpriteProp::CreateObject() {
    PrepareImages();
    return new DS_SpriteArrayObj(Clone());
}

void DS_BaseSpriteProp::SpawnSprite(DS_SpriteRecord&) {}
void DS_BaseSpriteProp::UpdateSprite(DS_SpriteRecord&) {}

unsigned int DS_BaseSpriteProp::NextFrame(unsigned int current) {
    if (sheetFrames <= 1) return 0;
    return (current + 1) % sheetFrames;
}

void DS_BaseSpriteProp::PrepareImages() {
    if (!image.key.path.empty()) return;
    DS_DocResManager* manager = GetCurrentDocResManager();
    if (!manager) return;
    // Without frame files there is nothing to link: the picture stays
    // unresolved (no element 0 is read).
    if (!oldFrameFiles.empty()) {
        const std::vector<DS_ResFileData> files(oldFrameFiles.begin(), oldFrameFiles.end());
        image.key = manager->AddImageSequence(oldFrameDelays, files).key;
    }
    if (oldMaskFile.resourceId != 0) mask.key = manager->AddImageFile(oldMaskFile).key;
    oldFrameFiles.clear();
    oldFrameDelays.clear();
}

float DS_BaseSpriteProp::PictureAspect() const {
    DS_DocResManager* manager = GetCurrentDocResManager();
    return manager ? manager->GetImage(image).aspect : 1.0f;
}

float DS_BaseSpriteProp::LogicalWidth() { return static_cast<float>(DS_ScreenMapping::Current().logicalWidth); }
float DS_BaseSpriteProp::LogicalHeight() { return static_cast<float>(DS_ScreenMapping::Current().logicalHeight); }

void DS_BaseSpriteProp::PulseAlpha(DS_SpriteRecord& s, bool respawn) {
    s.alphaPhase = s.alphaPhase + step * s.pulseSpeed;
    if (pulseMin > s.alphaPhase) {
        if (respawn) SpawnSprite(s);
        s.alphaPhase = pulseMin;
        s.pulseSpeed = -s.pulseSpeed;
    } else if (s.alphaPhase > pulseMax) {
        s.alphaPhase = pulseMax;
        s.pulseSpeed = -s.pulseSpeed;
    }
}

// ---------------------------------------------------------------- record --

void DS_BaseSpriteProp::WriteRecord(DS_IOF_Virtual& ar) const {
    WriteRecordHeader(ar, u"DS_BaseSpriteProp", kVersion);
    DS_ViewObjCtrl::WriteRecord(ar);
    ar.WriteUInt(count.value);
    ar.WriteUInt(size.value);
    ar.WriteUInt(transparency.value);
    ar.WriteInt(additive.value);
    ar.WriteInt(static_cast<INT>(color.value));
    ar.WriteFloat(pulseSpeed);
    ar.WriteFloat(pulseMin);
    ar.WriteFloat(pulseMax);
    ar.WriteFloat(sizeMin);
    ar.WriteFloat(sizeMax);
    WriteFileLink(ar, image);
    WriteFileLink(ar, mask);
    ar.WriteUInt(spareCount);
    ar.WriteFloat(spareRate);
    ar.WriteUInt(sheetFrames);
    ar.WriteFloat(sheetRate);
    ar.WriteBool(sheetOn);
    ar.WriteInt(imageSetMode);
    ar.WriteInt(flipVertical.value);
    ar.WriteInt(flipHorizontal.value);
    ar.WriteInt(updateOnFrameChange.value);
}

void DS_BaseSpriteProp::ReadRecord(DS_IOF_Virtual& ar, DS_BaseSpriteProp& d) {
    const INT version = ReadRecordHeader(ar);
    d.ReadFields(ar, version);
}

void DS_BaseSpriteProp::ReadFields(DS_IOF_Virtual& ar, INT version) {
    DS_ViewObjCtrl::ReadRecord(ar, *this);
    ar.ReadUInt(count.value);
    if (version <= 2) ar.ReadUInt(speed.value);
    ar.ReadUInt(size.value);
    ReadParam(ar, transparency);  // told: the alpha byte follows
    ar.ReadInt(additive.value);
    ReadParam(ar, color);
    ar.ReadFloat(pulseSpeed);
    ar.ReadFloat(pulseMin);
    ar.ReadFloat(pulseMax);
    ar.ReadFloat(sizeMin);
    ar.ReadFloat(sizeMax);
    if (version <= 1) {
        INT n = 0;
        ar.ReadInt(n);
        // Each record takes bytes, so a damaged count runs out of them and
        // fails; nothing is reserved from the count.
        oldFrameFiles.clear();
        for (INT i = 0; i < n; ++i) oldFrameFiles.push_back(DS_ResFileData::Read(ar));
        oldMaskFile = DS_ResFileData::Read(ar);
    } else {
        ReadFileLink(ar, image);
        ReadFileLink(ar, mask);
    }
    ar.ReadUInt(spareCount);
    ar.ReadFloat(spareRate);
    ar.ReadUInt(sheetFrames);
    ar.ReadFloat(sheetRate);
    ar.ReadBool(sheetOn);
    if (version <= 1) {
        INT n = 0;
        ar.ReadInt(n);
        oldFrameDelays.clear();
        for (INT i = 0; i < n; ++i) {
            float v = 0.0f;
            ar.ReadFloat(v);
            oldFrameDelays.push_back(v);
        }
        return;
    }
    if (version >= 4) ar.ReadInt(imageSetMode);
    if (version >= 5) {
        ar.ReadInt(flipVertical.value);
        ar.ReadInt(flipHorizontal.value);
    }
    if (version >= 6) ar.ReadInt(updateOnFrameChange.value);
}
