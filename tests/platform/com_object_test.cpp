#include <gtest/gtest.h>

#include "platform/com/com_object.h"
#include "platform/crt/fnv1a.h"

namespace {

// {6B1E3C0A-2F4D-4E7B-9A51-0C2D3E4F5061}
constexpr IID IID_IShape = {0x6B1E3C0A, 0x2F4D, 0x4E7B, {0x9A, 0x51, 0x0C, 0x2D, 0x3E, 0x4F, 0x50, 0x61}};
// {6B1E3C0B-2F4D-4E7B-9A51-0C2D3E4F5061}
constexpr IID IID_ICircle = {0x6B1E3C0B, 0x2F4D, 0x4E7B, {0x9A, 0x51, 0x0C, 0x2D, 0x3E, 0x4F, 0x50, 0x61}};
// {6B1E3C0C-2F4D-4E7B-9A51-0C2D3E4F5061}
constexpr IID IID_IColoured = {0x6B1E3C0C, 0x2F4D, 0x4E7B, {0x9A, 0x51, 0x0C, 0x2D, 0x3E, 0x4F, 0x50, 0x61}};
// {6B1E3C0D-2F4D-4E7B-9A51-0C2D3E4F5061}
constexpr IID IID_Private = {0x6B1E3C0D, 0x2F4D, 0x4E7B, {0x9A, 0x51, 0x0C, 0x2D, 0x3E, 0x4F, 0x50, 0x61}};

struct IShape : IUnknown {
    virtual int Corners() = 0;
};
struct ICircle : IShape {
    virtual int Radius() = 0;
};
struct IColoured : IUnknown {
    virtual int Colour() = 0;
};

}  // namespace

template <>
struct ComInterfaceIds<ICircle> : ComIds<IID_IShape, IID_ICircle> {};
template <>
struct ComInterfaceIds<IColoured> : ComIds<IID_IColoured> {};

namespace {

class Disc final : public ComObject<ICircle, IColoured> {
public:
    explicit Disc(bool* gone) : gone_(gone) {}
    int Corners() override { return 0; }
    int Radius() override { return 5; }
    int Colour() override { return 7; }

private:
    ~Disc() override { *gone_ = true; }
    void* QueryOther(REFIID iid) override { return iid == IID_Private ? static_cast<ICircle*>(this) : nullptr; }
    bool* gone_;
};

TEST(ComObject, AnswersEachInterfaceAndItsBasesWithOneCount) {
    bool gone = false;
    auto* disc = new Disc(&gone);
    void* p = nullptr;

    ASSERT_EQ(disc->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(p, static_cast<IUnknown*>(static_cast<ICircle*>(disc)));  // the first interface is the identity
    ASSERT_EQ(disc->QueryInterface(IID_IShape, &p), S_OK);
    EXPECT_EQ(static_cast<IShape*>(p)->Corners(), 0);
    ASSERT_EQ(disc->QueryInterface(IID_ICircle, &p), S_OK);
    EXPECT_EQ(static_cast<ICircle*>(p)->Radius(), 5);
    ASSERT_EQ(disc->QueryInterface(IID_IColoured, &p), S_OK);
    auto* coloured = static_cast<IColoured*>(p);
    EXPECT_EQ(coloured->Colour(), 7);
    ASSERT_EQ(disc->QueryInterface(IID_Private, &p), S_OK);
    EXPECT_EQ(p, static_cast<ICircle*>(disc));

    // Five references added, one from creation: released through another
    // interface, the count is the object's.
    for (int i = 0; i < 5; ++i) coloured->Release();
    EXPECT_FALSE(gone);
    EXPECT_EQ(disc->AddRef(), 2u);
    EXPECT_EQ(disc->Release(), 1u);
    EXPECT_EQ(disc->Release(), 0u);
    EXPECT_TRUE(gone);
}

TEST(ComObject, RefusesUnknownIdentifiersAndNullResults) {
    bool gone = false;
    auto* disc = new Disc(&gone);
    void* p = disc;
    // {00000001-0000-0000-0000-000000000000}
    constexpr IID other = {1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    EXPECT_EQ(disc->QueryInterface(other, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(disc->QueryInterface(IID_ICircle, nullptr), E_POINTER);
    EXPECT_EQ(disc->Release(), 0u);  // neither refusal added a reference
    EXPECT_TRUE(gone);
}

TEST(Fnv1a, KeepsTheSequenceTheStoredIdentifiersWereMadeWith) {
    using tessaloom::Fnv1a;
    using tessaloom::Fnv1aOf;
    EXPECT_EQ(Fnv1a().Value(), 0x14650fb0739d0383ull);
    EXPECT_EQ(Fnv1aOf("a", 1), 0x44bd8ad473cd9906ull);
    EXPECT_EQ(Fnv1aOf("fire", 4), 0x6258a7d333495a8full);
    EXPECT_EQ(Fnv1a().Add(std::string_view("fire")).Value(), 0x6258a7d333495a8full);
    EXPECT_EQ(Fnv1a().Add(std::string_view("fire")).AddWord(3).Value(), 0x65ffb7e025a4dbe4ull);
}

}  // namespace
