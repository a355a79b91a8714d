#include "document/media_param.h"

#include <algorithm>

MediaParam::~MediaParam() {
    // Front to back; a detached control never touches this parameter again.
    for (size_t i = first_; i < controls_.size(); ++i)
        if (controls_[i]) controls_[i]->Detach();
}

void MediaParam::AddControl(MediaControl* control) { controls_.push_back(control); }

void MediaParam::RemoveControl(MediaControl* control) {
    if (!control) return;
    // A control is added once per parameter (Watch leaves before it adds).
    // Its entry is looked for from both ends at once, and left as a hole:
    // a group torn down in the order it was made, or in the reverse, then
    // finds each entry at once and the teardown stays linear in its size.
    size_t lo = first_, hi = controls_.size();
    size_t found = hi;
    while (lo < hi) {
        if (controls_[lo] == control) {
            found = lo;
            break;
        }
        if (controls_[hi - 1] == control) {
            found = hi - 1;
            break;
        }
        ++lo;
        --hi;
    }
    if (found == controls_.size()) return;
    controls_[found] = nullptr;
    ++holes_;
    // During a walk the indices stay as they are.
    if (walking_ == 0) Compact();
}

void MediaParam::NotifyControls(MediaControl* source) {
    // Only the controls present when the change happened are told; the walk
    // goes by index because a callback may append to (and so reallocate) the list.
    const size_t count = controls_.size();
    ++walking_;
    try {
        for (size_t i = first_; i < count && i < controls_.size(); ++i)
            if (MediaControl* c = controls_[i]) c->Notify(source);
    } catch (...) {
        if (--walking_ == 0) Compact();
        throw;
    }
    if (--walking_ == 0) Compact();
}

void MediaParam::Compact() {
    // Holes at the back go at once, holes at the front move the start on;
    // the rest are squeezed out once they are half the list, so every hole
    // is moved over a bounded number of times.
    while (!controls_.empty() && !controls_.back()) {
        controls_.pop_back();
        if (holes_ > 0) --holes_;
    }
    while (first_ < controls_.size() && !controls_[first_]) {
        ++first_;
        if (holes_ > 0) --holes_;
    }
    if (first_ == controls_.size()) {
        controls_.clear();
        first_ = 0;
        holes_ = 0;
        return;
    }
    if (2 * (first_ + holes_) <= controls_.size()) return;
    controls_.erase(std::remove(controls_.begin(), controls_.end(), nullptr), controls_.end());
    first_ = 0;
    holes_ = 0;
}

size_t MediaParam::ControlCount() const {
    return static_cast<size_t>(std::count_if(controls_.begin(), controls_.end(), [](MediaControl* c) { return c; }));
}
