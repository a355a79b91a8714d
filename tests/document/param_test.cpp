#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "document/archive.h"
#include "document/archive_writer.h"
#include "document/bindings.h"
#include "document/convert.h"
#include "document/media_area.h"
#include "document/media_param.h"
#include "document/scaled_param.h"

namespace {

using Log = std::vector<std::string>;

// A control that records every change it is told of.
class Recorder : public MediaControlT<MediaParamTB<UINT>> {
public:
    Recorder(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
    void OnChange(MediaControl*) override { log_.push_back(name_); }

private:
    Log& log_;
    std::string name_;
};

// An owner in the usual form: parameters first, then the binding list.
class Owner {
public:
    explicit Owner(Log& log) : log_(log) {
        speed.SetFactor(0.01f, 0.0f);
        controls.SetOwner(this);
        DS_FunLightCtrl<UINT, Owner>::Bind(speed, &Owner::OnSpeed, controls);
        DS_FunLightCtrl<UINT, Owner>::Bind(count, &Owner::OnCount, controls);
        DS_FunLightCtrl2<Owner>::Bind(&Owner::OnCountPlain, controls, count);
    }
    // The copy takes values and binds anew.
    Owner(const Owner& other) : speed(other.speed), count(other.count), log_(other.log_) {
        controls.SetOwner(this);
        DS_FunLightCtrl<UINT, Owner>::Bind(speed, &Owner::OnSpeed, controls);
    }
    virtual ~Owner() = default;

    void OnSpeed(UINT raw) { log_.push_back("speed " + std::to_string(raw) + " " + std::to_string(speed.converted)); }
    void OnCount(UINT v) { log_.push_back("count " + std::to_string(v)); }
    void OnCountPlain() { log_.push_back("count plain"); }

    UINTSclaleTo<float> speed;
    MediaParamT<UINT> count;
    DS_CtrlList controls;

private:
    Log& log_;
};

TEST(Param, SetValueNotifiesInRegistrationOrderOnlyOnChange) {
    Log log;
    MediaParamT<UINT> p(3);
    Recorder a(log, "a"), b(log, "b"), c(log, "c");
    a.Watch(&p);
    b.Watch(&p);
    c.Watch(&p);
    p.SetValue(3);
    EXPECT_TRUE(log.empty());
    p.SetValue(4);
    EXPECT_EQ(log, (Log{"a", "b", "c"}));
    // The source of a change is not told of it.
    log.clear();
    p.NotifyControls(&b);
    EXPECT_EQ(log, (Log{"a", "c"}));
    // Watching another parameter leaves the first.
    MediaParamT<UINT> q;
    b.Watch(&q);
    log.clear();
    p.SetValue(5);
    EXPECT_EQ(log, (Log{"a", "c"}));
}

TEST(Param, CopiesCarryValueButNoControls) {
    Log log;
    MediaParamT<UINT> p(8);
    Recorder a(log, "a");
    a.Watch(&p);
    MediaParamT<UINT> copy(p);
    EXPECT_EQ(copy.value, 8u);
    EXPECT_EQ(copy.ControlCount(), 0u);
    copy.SetValue(9);
    EXPECT_TRUE(log.empty());
    // Assignment keeps the target's own controls and tells nobody.
    MediaParamT<UINT> other(1);
    p = other;
    p.Assign(2u);
    EXPECT_EQ(p.value, 2u);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(p.ControlCount(), 1u);
}

TEST(Param, UnsetValuesStartAtZero) {
    MediaParamT<int> i;
    MediaParamTB<UINT> u;
    MediaParamTB<ds_string> s;
    MediaFloat<unsigned int> f;
    MediaColor color;
    EXPECT_EQ(i.value, 0);
    EXPECT_EQ(u.value, 0u);
    EXPECT_TRUE(s.value.empty());
    EXPECT_EQ(f.value, 0u);
    EXPECT_EQ(f.converted, 0.0f);
    EXPECT_EQ(color.value, 0u);
}

// Destruction in both orders leaves no control in any list and touches no
// freed memory (the sanitizer build checks the second half).
TEST(Param, DestructionInEitherOrder) {
    Log log;
    {
        auto p = std::make_unique<MediaParamT<UINT>>();
        auto r = std::make_unique<Recorder>(log, "r");
        r->Watch(p.get());
        p.reset();
        EXPECT_EQ(r->watched, nullptr);
    }
    {
        auto p = std::make_unique<MediaParamT<UINT>>();
        auto r = std::make_unique<Recorder>(log, "r");
        r->Watch(p.get());
        r.reset();
        EXPECT_EQ(p->ControlCount(), 0u);
        p->SetValue(1);
    }
    {
        // Binding list dies before its source parameter, and after it.
        auto source = std::make_unique<MediaParamT<UINT>>();
        auto list = std::make_unique<DS_CtrlList>();
        struct Target {
            void Fn(UINT) {}
            void Plain() {}
        } target;
        list->SetOwner(&target);
        DS_FunLightCtrl<UINT, Target>::Bind(*source, &Target::Fn, *list);
        DS_FunLightCtrl2<Target>::Bind(&Target::Plain, *list, *source);
        EXPECT_EQ(source->ControlCount(), 2u);
        list.reset();
        EXPECT_EQ(source->ControlCount(), 0u);
        source->SetValue(3);

        source = std::make_unique<MediaParamT<UINT>>();
        list = std::make_unique<DS_CtrlList>();
        list->SetOwner(&target);
        auto* fn = DS_FunLightCtrl<UINT, Target>::Bind(*source, &Target::Fn, *list);
        auto* plain = DS_FunLightCtrl2<Target>::Bind(&Target::Plain, *list, *source);
        source.reset();
        EXPECT_EQ(fn->watched, nullptr);
        EXPECT_EQ(plain->Source(), nullptr);
        list.reset();
    }
}

// A callback may add or remove controls of the parameter it is told about.
TEST(Param, NotifyWhileCallbackChangesControls) {
    Log log;
    MediaParamT<UINT> p;
    auto victim = std::make_unique<Recorder>(log, "victim");
    std::unique_ptr<Recorder> added;

    class Meddler : public MediaControlT<MediaParamTB<UINT>> {
    public:
        std::function<void()> action;
        void OnChange(MediaControl*) override { action(); }
    } meddler;
    meddler.action = [&] {
        log.push_back("meddler");
        victim.reset();  // removes a later control mid-walk
        added = std::make_unique<Recorder>(log, "added");
        added->Watch(&p);  // appends mid-walk (may reallocate the list)
        for (int i = 0; i < 64; ++i) p.AddControl(nullptr);  // force growth
    };
    Recorder first(log, "first");
    first.Watch(&p);
    meddler.Watch(&p);
    victim->Watch(&p);
    p.SetValue(1);
    EXPECT_EQ(log, (Log{"first", "meddler"}));

    log.clear();
    meddler.action = [&] { log.push_back("meddler"); };
    p.SetValue(2);
    EXPECT_EQ(log, (Log{"first", "meddler", "added"}));
}

TEST(Scaled, DefaultsAndConversion) {
    UINTSclaleTo<float> s;
    EXPECT_EQ(s.value, 0u);
    EXPECT_EQ(s.factor, 1.0f);
    EXPECT_EQ(s.offset, 0.0f);
    EXPECT_EQ(s.converted, 0.0f);
    EXPECT_EQ(s.ControlCount(), 1u);  // its own converter

    Log log;
    Recorder r(log, "r");
    r.Watch(&s);
    s.SetFactor(0.01f, 0.0f);
    EXPECT_TRUE(log.empty());  // SetFactor tells no other control
    s.SetValue(120);
    EXPECT_FLOAT_EQ(s.converted, 1.2f);
    EXPECT_EQ(log.size(), 1u);
    s.SetValue(120);
    EXPECT_EQ(log.size(), 1u);

    // Raw values from 2^31 up keep their unsigned magnitude.
    UINTSclaleTo<float> big;
    big.SetValue(0x80000000u);
    EXPECT_EQ(big.converted, 2147483648.0f);
}

TEST(Scaled, ByteConversionTable) {
    struct Case {
        float factor, offset;
        UINT raw;
        BYTE expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Case> cases = {
        {-2.55f, 255.0f, 0, 255},
        {-2.55f, 255.0f, 50, 127},  // 127.5 truncated
        {-2.55f, 255.0f, 100, 0},
        {-2.55f, 255.0f, 101, 254},  // -2.55 truncates to -2
        {1.0f, 256.0f, 0, 0},        // wraps
        {1.0f, -2.55f, 0, 254},
        // Out of the int32 range or NaN: saturated, then the low byte.
        {1e10f, 0.0f, 1, 0xFF},
        {-1e10f, 0.0f, 1, 0x00},
        {1.0f, nan, 3, 0},
        {-2.55f, 255.0f, 0xFFFFFFFFu, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.factor) + " " + std::to_string(c.offset) + " " + std::to_string(c.raw));
        UINTSclaleTo<BYTE> b;
        b.SetFactor(c.factor, c.offset);
        b.value = c.raw;
        b.NotifyControls(nullptr);
        EXPECT_EQ(b.converted, c.expected);
    }
}

TEST(Scaled, TruncationSaturates) {
    EXPECT_EQ(DS_TruncateToInt32(1.9), 1);
    EXPECT_EQ(DS_TruncateToInt32(-1.9), -1);
    EXPECT_EQ(DS_TruncateToInt32(3e9), INT32_MAX);
    EXPECT_EQ(DS_TruncateToInt32(-3e9), INT32_MIN);
    EXPECT_EQ(DS_TruncateToInt32(std::numeric_limits<double>::infinity()), INT32_MAX);
    EXPECT_EQ(DS_TruncateToInt32(-std::numeric_limits<double>::infinity()), INT32_MIN);
    EXPECT_EQ(DS_TruncateToInt32(std::nan("")), 0);
    EXPECT_EQ(DS_TruncateToInt32(2147483647.0), INT32_MAX);
    EXPECT_EQ(DS_TruncateToInt32(-2147483648.0), INT32_MIN);
}

TEST(Scaled, CopyAndAssign) {
    UINTSclaleTo<float> a;
    a.SetFactor(0.5f, 1.0f);
    a.SetValue(10);
    Log log;
    Recorder r(log, "r");
    r.Watch(&a);

    UINTSclaleTo<float> copy(a);
    EXPECT_EQ(copy.value, 10u);
    EXPECT_EQ(copy.factor, 0.5f);
    EXPECT_EQ(copy.offset, 1.0f);
    EXPECT_EQ(copy.converted, 6.0f);
    EXPECT_EQ(copy.ControlCount(), 1u);
    copy.SetValue(20);  // the original's converted value stays
    EXPECT_EQ(copy.converted, 11.0f);
    EXPECT_EQ(a.converted, 6.0f);
    EXPECT_TRUE(log.empty());

    // Assign notifies every control even when nothing changed.
    UINTSclaleTo<float> same(a);
    a.Assign(same);
    EXPECT_EQ(log.size(), 1u);
    a.Assign(copy);
    EXPECT_EQ(a.value, 20u);
    EXPECT_EQ(a.converted, 11.0f);
    EXPECT_EQ(log.size(), 2u);
}

TEST(Scaled, SpeedClock) {
    MediaSpeedParam s;
    s.SetFactor(0.02f, 0.0f);
    s.SetValue(50);  // converted 1.0: the clock counts seconds
    EXPECT_FLOAT_EQ(s.converted, 1.0f);
    s.Advance(10.0f);  // first step capped at 0.2
    EXPECT_FLOAT_EQ(s.time, 0.2f);
    s.Advance(10.0f);
    EXPECT_EQ(s.step, 0.0f);
    s.Advance(10.5f);
    EXPECT_FLOAT_EQ(s.step, 0.2f);
    EXPECT_FLOAT_EQ(s.time, 0.4f);
    s.Advance(9.0f);  // backwards: no step
    EXPECT_EQ(s.step, 0.0f);
    EXPECT_EQ(s.lastTime, 9.0f);
    s.Advance(9.1f);
    EXPECT_NEAR(s.step, 0.1f, 1e-5f);

    MediaSpeedParam copy;
    copy.Assign(s);
    EXPECT_EQ(copy.time, s.time);
    EXPECT_EQ(copy.step, s.step);
    EXPECT_EQ(copy.lastTime, s.lastTime);
    EXPECT_EQ(copy.converted, s.converted);
    copy.Advance(9.2f);
    s.Advance(9.2f);
    EXPECT_EQ(copy.time, s.time);
    MediaSpeedParam copied(s);
    EXPECT_EQ(copied.time, s.time);
    EXPECT_EQ(copied.ControlCount(), 1u);
}

TEST(Binding, OrderBindAndCopies) {
    Log log;
    Owner owner(log);
    // Bind fired the value binding once; the plain binding did not fire.
    EXPECT_EQ(log, (Log{"speed 0 0.000000", "count 0"}));
    log.clear();

    owner.speed.SetValue(50);  // converter first: the binding sees 0.5
    EXPECT_EQ(log, (Log{"speed 50 0.500000"}));
    log.clear();
    owner.speed.SetValue(50);
    owner.count.SetValue(0);
    EXPECT_TRUE(log.empty());
    owner.count.SetValue(3);
    EXPECT_EQ(log, (Log{"count 3", "count plain"}));
    log.clear();

    Owner copy(owner);  // binds anew, once, with the copied value
    EXPECT_EQ(log, (Log{"speed 50 0.500000"}));
    log.clear();
    copy.count.SetValue(7);  // the copy's count carries no binding
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(owner.count.ControlCount(), 2u);
    EXPECT_EQ(owner.speed.ControlCount(), 2u);
    EXPECT_EQ(copy.speed.ControlCount(), 2u);
}

TEST(Binding, OwnerMustBeSetAsTheBoundClass) {
    DS_CtrlList list;
    MediaParamT<UINT> p;
    struct A {
        void Fn(UINT) {}
    };
    EXPECT_THROW((DS_FunLightCtrl<UINT, A>::Bind(p, &A::Fn, list)), std::logic_error);
    int wrong = 0;
    list.SetOwner(&wrong);
    EXPECT_THROW((DS_FunLightCtrl<UINT, A>::Bind(p, &A::Fn, list)), std::logic_error);
    EXPECT_EQ(p.ControlCount(), 0u);
}

// Values read from a record are stored directly (no control runs); only
// scaled parameters are read through SetValue.
TEST(Records, ReadingStoresDirectlyExceptScaled) {
    Log log;
    Owner owner(log);
    MediaRectangle area;
    struct EdgeWatcher {
        Log* log;
        void Left(int v) { log->push_back("left " + std::to_string(v)); }
        void Whole() { log->push_back("area"); }
    } watcher{&log};
    DS_CtrlList edges;
    edges.SetOwner(&watcher);
    DS_FunLightCtrl<int, EdgeWatcher>::Bind(area.left, &EdgeWatcher::Left, edges);
    DS_FunLightCtrl2<EdgeWatcher>::Bind(&EdgeWatcher::Whole, edges, area);
    log.clear();

    DS_IOF_W w;
    for (INT v : {10, 20, 30, 40, 50, 60}) w.WriteLong(v);
    w.WriteUInt(7);    // count, stored directly
    w.WriteUInt(50);   // speed, through SetValue
    w.WriteUInt(50);   // speed again: equal, nobody told
    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    area.ReadFields(reader);
    EXPECT_EQ(area.left.value, 10);
    EXPECT_EQ(area.right.value, 20);
    EXPECT_EQ(area.top.value, 30);
    EXPECT_EQ(area.bottom.value, 40);
    EXPECT_EQ(area.x.value, 50);
    EXPECT_EQ(area.y.value, 60);
    ReadParam(reader, owner.count);
    EXPECT_EQ(owner.count.value, 7u);
    EXPECT_TRUE(log.empty());
    ReadParam(reader, owner.speed);
    EXPECT_EQ(log, (Log{"speed 50 0.500000"}));
    ReadParam(reader, owner.speed);
    EXPECT_EQ(log.size(), 1u);

    // Assign does not fire either; a member change tells only the member's controls.
    log.clear();
    MediaRectangle other;
    other.left.value = 99;
    area.Assign(other);
    EXPECT_EQ(area.left.value, 99);
    EXPECT_EQ(area.y.value, 0);
    EXPECT_TRUE(log.empty());
    area.left.SetValue(5);
    EXPECT_EQ(log, (Log{"left 5"}));

    // A copy carries the values, not the bindings.
    MediaRectangle copy(area);
    EXPECT_EQ(copy.left.value, 5);
    EXPECT_EQ(copy.left.ControlCount(), 0u);
    EXPECT_EQ(copy.ControlCount(), 0u);
}

TEST(Records, AreaAndQuadRoundTrip) {
    MediaRectangle fresh;
    for (int v : {fresh.left.value, fresh.right.value, fresh.top.value, fresh.bottom.value, fresh.x.value,
                  fresh.y.value})
        EXPECT_EQ(v, 0);

    MediaRectangle area;
    area.left.value = -1;
    area.right.value = 1920;
    area.top.value = INT32_MIN;
    area.bottom.value = INT32_MAX;
    area.x.value = 3;
    area.y.value = -4;
    MediaQuad quad;
    for (int i = 0; i < 4; ++i) quad.corners[i].value = D3DXVECTOR3(i + 0.5f, -i * 2.0f, 1e-3f * i);
    MediaColor color(0x00FF8040u);  // 0x00BBGGRR
    MediaParamTB<ds_string> name(u"slide one");
    MediaParamTB<POINT> point(POINT{-7, 8});

    DS_IOF_W w;
    area.Write(w);
    quad.Write(w);
    WriteParam(w, color);
    WriteParam(w, name);
    WriteParam(w, point);
    EXPECT_EQ(w.Bytes().size(), 24u + 48u + 4u + (4u + 18u) + 8u);

    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    MediaRectangle area2;
    MediaQuad quad2;
    MediaColor color2;
    MediaParamTB<ds_string> name2;
    MediaParamTB<POINT> point2;
    area2.ReadFields(reader);
    quad2.ReadFields(reader);
    ReadParam(reader, color2);
    ReadParam(reader, name2);
    ReadParam(reader, point2);
    EXPECT_EQ(buffer.Remaining(), 0u);
    EXPECT_EQ(area2.left.value, -1);
    EXPECT_EQ(area2.right.value, 1920);
    EXPECT_EQ(area2.top.value, INT32_MIN);
    EXPECT_EQ(area2.bottom.value, INT32_MAX);
    EXPECT_EQ(area2.x.value, 3);
    EXPECT_EQ(area2.y.value, -4);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(quad2.corners[i].value == quad.corners[i].value) << i;
    EXPECT_EQ(color2.value, color.value);
    EXPECT_EQ(name2.value, u"slide one");
    EXPECT_EQ(point2.value.x, -7);
    EXPECT_EQ(point2.value.y, 8);
}

}  // namespace
