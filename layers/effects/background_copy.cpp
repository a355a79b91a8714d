#include "layers/effects/background_copy.h"

#include <memory>

#include "platform/d3dx9/effect.h"
#include "scene/picture_layer.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_BackgroundCopy, DS_ABObj_Constructor)

namespace {

constexpr INT kEffect = 75;

float Fraction(int pixels, UINT size) {
    return size != 0 ? static_cast<float>(static_cast<double>(pixels) / static_cast<double>(size)) : 0.0f;
}

}  // namespace

DS_BackgroundCopy::DS_BackgroundCopy() {
    effectLink.ConstructFromResource(kEffect, u"common_res.dll");
    yFlag.Assign(0);
    xFlag.Assign(0);
}

DS_BackgroundCopy::DS_BackgroundCopy(const DS_BackgroundCopy& other)
    : DS_FX_Constructor(other), area(other.area), yFlag(other.yFlag), xFlag(other.xFlag) {}

void DS_BackgroundCopy::OffsetFor(UINT width, UINT height, float out[2]) const {
    out[0] = Fraction(area.x.value, width);
    out[1] = Fraction(area.y.value, height);
    if (yFlag.value != 0) out[1] += 1.0f;
    if (xFlag.value != 0) out[0] += 1.0f;
}

void DS_BackgroundCopy::Apply(DS_2D_Light& layer) {
    ID3DXEffect* e = effect.Get();
    if (!e) return;
    float offset[2];
    OffsetFor(layer.GetPictureWidth(), layer.GetPictureHeight(), offset);
    e->SetFloatArray("offset", offset, 2);
    ApplyCommon(layer);
}

void DS_BackgroundCopy::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_BackgroundCopy", 1);
    area.Write(archive);
    archive.WriteLong(yFlag.value);
    archive.WriteLong(xFlag.value);
    DS_FX_Constructor::WriteRecord(archive);
}

DS_BackgroundCopy* DS_BackgroundCopy::CreateFromArchive(DS_IOF_Virtual& archive, int) {
    auto copy = std::make_unique<DS_BackgroundCopy>();
    copy->area.ReadFields(archive);
    archive.ReadLong(copy->yFlag.value);
    archive.ReadLong(copy->xFlag.value);
    DS_FX_Constructor::ReadRecord(archive, *copy);
    return copy.release();
}
