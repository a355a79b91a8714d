#include <gtest/gtest.h>

#include "document/archive_writer.h"
#include "document/guid_text.h"

namespace {

TEST(GuidText, RoundTripAndBadText) {
    const GUID g = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    DS_IOF_W w;
    WriteGuid(w, g);
    w.WriteString(u"not a guid");
    w.WriteInt(77);
    // 38 characters in the byte form.
    ASSERT_GE(w.Bytes().size(), 4u + 76u);
    EXPECT_EQ(w.Bytes()[3], 38);
    EXPECT_EQ(w.Bytes()[4], '{');
    EXPECT_EQ(w.Bytes()[4 + 2 * 37], '}');

    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    GUID read = GUID_NULL;
    ReadGuid(reader, read);
    EXPECT_EQ(read, g);
    ReadGuid(reader, read);  // does not stop the read
    EXPECT_EQ(read, GUID_NULL);
    INT next = 0;
    reader.ReadInt(next);
    EXPECT_EQ(next, 77);

    DS_IOF_W text;
    text.WriteString(u"{01234567-89ab-cdef-0123-456789abcdef}");  // lower case parses too
    ResourceBuffer b2(text.Bytes().data(), text.Bytes().size());
    DS_IOF_R<ResourceBuffer> r2(&b2);
    ReadGuid(r2, read);
    EXPECT_EQ(read, g);
}

}  // namespace
