// Bindings: controls that call a member function of their owner whenever a
// parameter changes.  An object keeps its bindings in one DS_CtrlList, which
// deletes them with the object.
//
//   DS_FunLightCtrl<T, C>   calls (owner->*fn)(new value); fires once when bound
//   DS_FunLightCtrl2<C>     calls (owner->*fn)();          does not fire when bound
//
// Typical use, in the owner's constructor and copy constructor:
//   controls.SetOwner(this);
//   DS_FunLightCtrl<UINT, Foo>::Bind(count, &Foo::OnCountChanged, controls);
#pragma once

#include <stdexcept>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "document/media_param.h"

class DS_CtrlList {
public:
    DS_CtrlList() = default;
    // A list owns its bindings, which point at one particular owner: a copy
    // would share or double-delete them.  An owner's copy constructor makes
    // a fresh list and binds anew.
    DS_CtrlList(const DS_CtrlList&) = delete;
    DS_CtrlList& operator=(const DS_CtrlList&) = delete;
    // Deletes every binding, first to last; each leaves its source's controls
    // unless the source was destroyed first.  The owner itself is never
    // deleted: every owner sets itself, which clears the list's claim on it.
    ~DS_CtrlList();

    template <class C>
    void SetOwner(C* owner) {
        owner_ = owner;
        ownerType_ = std::type_index(typeid(C));
    }

    // The owner as the class whose member functions are bound.  The owner
    // must have been set as exactly that class; anything else is a
    // programming error and throws rather than calling into a wrong object.
    template <class C>
    C* GetOwner() const {
        if (!owner_ || ownerType_ != std::type_index(typeid(C)))
            throw std::logic_error("binding list owner is not set as the bound class");
        return static_cast<C*>(owner_);
    }

    void Append(MediaControl* control) { controls_.push_back(control); }
    size_t Count() const { return controls_.size(); }

private:
    void* owner_ = nullptr;
    std::type_index ownerType_ = std::type_index(typeid(void));
    std::vector<MediaControl*> controls_;
};

template <class T, class C>
class DS_FunLightCtrl final : public MediaControlT<MediaParamTB<T>> {
public:
    using Function = void (C::*)(T);

    // Makes the binding, makes it the last control of `source`, calls the
    // function once with the current value, and hands the binding to `list`.
    static DS_FunLightCtrl* Bind(MediaParamTB<T>& source, Function fn, DS_CtrlList& list) {
        return Bind(source, fn, list, list.GetOwner<C>());
    }
    // The same with the object given explicitly.
    static DS_FunLightCtrl* Bind(MediaParamTB<T>& source, Function fn, DS_CtrlList& list, C* object) {
        auto* binding = new DS_FunLightCtrl(fn, object);
        list.Append(binding);  // owned from here on, whatever the first call does
        binding->Watch(&source);
        binding->OnChange(nullptr);
        return binding;
    }

    void OnChange(MediaControl*) override {
        if (this->watched) (object_->*function_)(this->watched->value);
    }

private:
    DS_FunLightCtrl(Function fn, C* object) : function_(fn), object_(object) {}

    Function function_;
    C* object_;
};

template <class C>
class DS_FunLightCtrl2 final : public MediaControl {
public:
    using Function = void (C::*)();

    // Makes the binding, appends it to `source`'s controls and hands it to
    // `list`.  Nothing is called now.
    static DS_FunLightCtrl2* Bind(Function fn, DS_CtrlList& list, MediaParam& source) {
        return Bind(fn, list, source, list.GetOwner<C>());
    }
    static DS_FunLightCtrl2* Bind(Function fn, DS_CtrlList& list, MediaParam& source, C* object) {
        auto* binding = new DS_FunLightCtrl2(fn, object, &source);
        list.Append(binding);
        source.AddControl(binding);
        return binding;
    }

    ~DS_FunLightCtrl2() override {
        if (source_) source_->RemoveControl(this);
    }
    void Detach() override { source_ = nullptr; }
    void OnChange(MediaControl*) override { (object_->*function_)(); }

    MediaParam* Source() const { return source_; }

private:
    DS_FunLightCtrl2(Function fn, C* object, MediaParam* source) : function_(fn), object_(object), source_(source) {}

    Function function_;
    C* object_;
    MediaParam* source_;
};
