// Parameter groups: an area (four edges and a point) and four corners.
//
// Each group is a parameter of its own: its controls watch the group as a
// whole, while code may also bind to a single member.  A change of one member
// tells only that member's controls.
#pragma once

#include "document/media_param.h"

// Edges and point in the picture's own pixel space, y growing downwards.
class MediaRectangle : public MediaParam {
public:
    MediaRectangle();
    // Values only: no control of `other` or of its members is carried over.
    MediaRectangle(const MediaRectangle& other);
    MediaRectangle& operator=(const MediaRectangle& other) {
        Assign(other);
        return *this;
    }

    // Every value replaced; no control is told.
    void Assign(const MediaRectangle& other);
    // Six int32, left, right, top, bottom, x, y, stored directly.
    void ReadFields(DS_IOF_Virtual& archive);
    void Write(DS_IOF_Virtual& archive) const;

    MediaParamT<int> left;
    MediaParamT<int> right;
    MediaParamT<int> top;
    MediaParamT<int> bottom;
    MediaParamTB<int> x;
    MediaParamTB<int> y;
};

// Four corner points; their meaning belongs to the class that uses them.
class MediaQuad : public MediaParam {
public:
    MediaQuad() = default;
    MediaQuad(const MediaQuad& other);
    MediaQuad& operator=(const MediaQuad& other);

    // Twelve floats, corner 1 x, y, z to corner 4 x, y, z, stored directly.
    void ReadFields(DS_IOF_Virtual& archive);
    void Write(DS_IOF_Virtual& archive) const;

    MediaParamTB<D3DXVECTOR3> corners[4];
};
