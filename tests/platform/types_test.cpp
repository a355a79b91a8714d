#include <gtest/gtest.h>

#include "platform/com/guid.h"
#include "platform/win32/types.h"

TEST(Types, ResultCodeRules) {
    EXPECT_TRUE(SUCCEEDED(S_OK));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(FAILED(E_OUTOFMEMORY));
    EXPECT_EQ(static_cast<uint32_t>(E_INVALIDARG), 0x80070057u);
}

TEST(Types, GuidOrderIsBytewise) {
    GUID a = GUID_NULL, b = GUID_NULL;
    a.Data1 = 0x00000100;  // little-endian: byte 1 is 0x01
    b.Data1 = 0x00000001;  // byte 0 is 0x01
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(a == b);
}
