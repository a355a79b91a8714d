// The shared-ownership pointer of scene objects: one separately allocated
// block {object, count} shared by every holder.  Single-threaded: the count
// is a plain integer.  The held type must have a virtual destructor; the
// object is deleted through it when the last holder lets go.
#pragma once

#include <cstdint>
#include <type_traits>

template <class T>
class DS_CountedPtr {
    static_assert(std::has_virtual_destructor_v<T>, "DS_CountedPtr holds polymorphic objects");

public:
    DS_CountedPtr() = default;
    // A new block with count 1, also for a null object.
    explicit DS_CountedPtr(T* object) : block_(new Block{object, 1}) {}
    DS_CountedPtr(const DS_CountedPtr& other) : block_(other.block_) {
        if (block_) ++block_->count;
    }
    DS_CountedPtr(DS_CountedPtr&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    DS_CountedPtr& operator=(const DS_CountedPtr& other) {
        Assign(other);
        return *this;
    }
    DS_CountedPtr& operator=(DS_CountedPtr&& other) noexcept {
        if (this != &other) {
            Release();
            block_ = other.block_;
            other.block_ = nullptr;
        }
        return *this;
    }
    ~DS_CountedPtr() { Release(); }

    // Shares `other`'s block.  Assigning a holder to itself changes nothing;
    // assigning from a holder of the same block drops and restores the count
    // without reaching 0, since both holders count.
    void Assign(const DS_CountedPtr& other) {
        if (&other == this) return;
        Block* incoming = other.block_;
        if (incoming) ++incoming->count;  // first, so a shared block cannot die in between
        Release();
        block_ = incoming;
    }

    // Lets go of the block; the last holder deletes the object and the block.
    void Release() {
        if (!block_) return;
        Block* block = block_;
        block_ = nullptr;
        if (--block->count < 1) {
            delete block->object;
            delete block;
        }
    }

    T* Get() const { return block_ ? block_->object : nullptr; }
    T* operator->() const { return Get(); }
    T& operator*() const { return *Get(); }
    explicit operator bool() const { return Get() != nullptr; }
    // Holders sharing the block, 0 for an empty holder.
    int32_t UseCount() const { return block_ ? block_->count : 0; }

private:
    struct Block {
        T* object;
        int32_t count;
    };
    Block* block_ = nullptr;
};
