#include "document/media_area.h"

MediaRectangle::MediaRectangle() {
    left.Assign(0);
    right.Assign(0);
    top.Assign(0);
    bottom.Assign(0);
    x.value = 0;
    y.value = 0;
}

MediaRectangle::MediaRectangle(const MediaRectangle& other)
    : MediaParam(),
      left(other.left),
      right(other.right),
      top(other.top),
      bottom(other.bottom),
      x(other.x),
      y(other.y) {}

void MediaRectangle::Assign(const MediaRectangle& other) {
    left.Assign(other.left);
    right.Assign(other.right);
    top.Assign(other.top);
    bottom.Assign(other.bottom);
    x.value = other.x.value;
    y.value = other.y.value;
}

void MediaRectangle::ReadFields(DS_IOF_Virtual& archive) {
    archive.ReadLong(left.value);
    archive.ReadLong(right.value);
    archive.ReadLong(top.value);
    archive.ReadLong(bottom.value);
    archive.ReadLong(x.value);
    archive.ReadLong(y.value);
}

void MediaRectangle::Write(DS_IOF_Virtual& archive) const {
    archive.WriteLong(left.value);
    archive.WriteLong(right.value);
    archive.WriteLong(top.value);
    archive.WriteLong(bottom.value);
    archive.WriteLong(x.value);
    archive.WriteLong(y.value);
}

MediaQuad::MediaQuad(const MediaQuad& other) : MediaParam() {
    for (int i = 0; i < 4; ++i) corners[i].value = other.corners[i].value;
}

MediaQuad& MediaQuad::operator=(const MediaQuad& other) {
    for (int i = 0; i < 4; ++i) corners[i].value = other.corners[i].value;
    return *this;
}

void MediaQuad::ReadFields(DS_IOF_Virtual& archive) {
    for (auto& corner : corners) ReadParam(archive, corner);
}

void MediaQuad::Write(DS_IOF_Virtual& archive) const {
    for (const auto& corner : corners) WriteParam(archive, corner);
}
