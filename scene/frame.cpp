#include "scene/frame.h"

DS_Frame::DS_Frame() {
    D3DXMatrixIdentity(&world);
    D3DXMatrixIdentity(&local);
}

DS_Frame::DS_Frame(const DS_Frame& other)
    : radius(other.radius),
      center(other.center),
      world(other.world),
      local(other.local),
      frontFace(other.frontFace),
      children(other.children) {}

DS_Frame::~DS_Frame() { delete controller_; }

void DS_Frame::Assign(const DS_Frame& other) {
    if (this == &other) return;
    radius = other.radius;
    center = other.center;
    world = other.world;
    local = other.local;
    frontFace = other.frontFace;
    children = other.children;
    // The controller stays this frame's own.
}

void DS_Frame::Update(const D3DXMATRIX* parentWorld) {
    if (controller_)
        controller_->Animate(this);
    else
        world = local;
    if (parentWorld) {
        D3DXMATRIX product;
        D3DXMatrixMultiply(&product, &world, parentWorld);
        world = product;
    }
    for (DS_Frame* child : children)
        if (child) child->Update(&world);
}

void DS_Frame::DeleteChildren() {
    std::list<DS_Frame*> doomed;
    doomed.swap(children);
    for (DS_Frame* child : doomed) {
        if (!child) continue;
        child->SetController(nullptr);
        child->children.clear();
        delete child;
    }
}

void DS_Frame::DestroyTree() {
    std::list<DS_Frame*> doomed;
    doomed.swap(children);
    for (DS_Frame* child : doomed) {
        if (!child) continue;
        child->DestroyTree();
        delete child;
    }
    SetController(nullptr);
}

void DS_Frame::SetController(DS_AnimationBase* controller) {
    if (controller == controller_) return;
    delete controller_;
    controller_ = controller;
}
