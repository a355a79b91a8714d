// DS_Frame: the transform node every mesh and 3D object is built on, and the
// base of the animation controllers a frame may own.
#pragma once

#include <list>

#include "platform/d3dx9/d3dx9math.h"

class DS_Frame;

// Computes a frame's world matrix each frame (and may set its front-face flag).
class DS_AnimationBase {
public:
    virtual ~DS_AnimationBase() = default;
    // Writes the frame's world matrix from its local matrix.
    virtual void Animate(DS_Frame* frame) = 0;
    virtual void SetValue(float v) { value = v; }

    float value = 0.0f;
};

class DS_Frame {
public:
    DS_Frame();
    // Copies every field and the child list by value, except the animation
    // controller: a frame owns its controller, so a copy starts without one
    // (two owners would delete it twice).
    DS_Frame(const DS_Frame& other);
    DS_Frame& operator=(const DS_Frame& other) {
        Assign(other);
        return *this;
    }
    // Deletes the controller and frees the child list; children are not deleted.
    ~DS_Frame();

    void Assign(const DS_Frame& other);

    // world := the controller's result (or local without one), times the
    // parent's world when given; then every child, in list order.
    void Update(const D3DXMATRIX* parentWorld);

    // Every frame below this one, at any depth, is deleted once with its
    // controller; then this frame's own controller is deleted and its child
    // list emptied.  The frame itself is not deleted: its owner frees it once
    // afterwards, and its destructor then finds nothing to free twice.
    void DestroyTree();
    // For every child, in list order: deletes its controller and the child
    // (one level deep).  The frame itself is left alone, its list emptied.
    void DeleteChildren();

    // Takes ownership of a controller (the old one is deleted).
    void SetController(DS_AnimationBase* controller);
    DS_AnimationBase* Controller() const { return controller_; }

    float radius = 0.0f;
    D3DXVECTOR3 center{0.0f, 0.0f, 0.0f};
    D3DXMATRIX world;
    D3DXMATRIX local;
    // Selects the cull order when mesh lists are drawn; stays 1 unless the
    // frame's controller sets it.
    unsigned char frontFace = 1;
    std::list<DS_Frame*> children;

private:
    DS_AnimationBase* controller_ = nullptr;
};
