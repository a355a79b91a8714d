#include "document/media_param.h"

#include <algorithm>

MediaParam::~MediaParam() {
    // Front to back; a detached control never touches this parameter again.
    for (size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i]) controls_[i]->Detach();
}

void MediaParam::AddControl(MediaControl* control) { controls_.push_back(control); }

void MediaParam::RemoveControl(MediaControl* control) {
    if (walking_ > 0) {
        // A walk is in progress: leave a hole so its indices stay valid.
        for (MediaControl*& c : controls_)
            if (c == control) {
                c = nullptr;
                holes_ = true;
            }
        return;
    }
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void MediaParam::NotifyControls(MediaControl* source) {
    // Only the controls present when the change happened are told; the walk
    // goes by index because a callback may append to (and so reallocate) the list.
    const size_t count = controls_.size();
    ++walking_;
    try {
        for (size_t i = 0; i < count && i < controls_.size(); ++i)
            if (MediaControl* c = controls_[i]) c->Notify(source);
    } catch (...) {
        if (--walking_ == 0) Compact();
        throw;
    }
    if (--walking_ == 0) Compact();
}

void MediaParam::Compact() {
    if (!holes_) return;
    controls_.erase(std::remove(controls_.begin(), controls_.end(), nullptr), controls_.end());
    holes_ = false;
}

size_t MediaParam::ControlCount() const {
    return static_cast<size_t>(std::count_if(controls_.begin(), controls_.end(), [](MediaControl* c) { return c; }));
}
