// The base of every device resource: external and internal references,
// the pool, the owning device.
#include <cstdio>

#include "platform/d3d9/objects.h"

namespace tessaloom::d3d9 {

// ------------------------------------------------------------ Resource --

Resource::Resource(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, bool tracked)
    : device_(device), type_(type), pool_(pool), tracked_(tracked) {
    if (tracked_) {
        device_->AddRef();
        device_->TrackResource(this, true);
        CountObject(1);
    }
}

Resource::~Resource() {
    if (tracked_) {
        device_->TrackResource(this, false);
        CountObject(-1);
    }
}

ULONG Resource::ExternalAddRef() {
    if (external_++ == 0) device_->AddRef();
    return external_;
}

ULONG Resource::ExternalRelease() {
    if (external_ == 0) {
        std::fprintf(stderr, "tessaloom d3d9: Release of a resource the application no longer holds\n");
        return 0;
    }
    const ULONG left = --external_;
    if (left == 0) {
        Device* device = device_;
        if (internal_ == 0) delete this;
        device->Release();  // the application's hold on the resource held the device
    }
    return left;
}

void Resource::Unbind() {
    if (internal_ > 0 && --internal_ == 0 && external_ == 0) delete this;
}

}  // namespace tessaloom::d3d9
