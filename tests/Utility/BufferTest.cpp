#include "Orvik_Utility/BitBuffer.h"
#include "Orvik_Utility/OctetBuffer.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

#include <limits>

using Orvik::Utility::BitBuffer;
using Orvik::Utility::OctetBuffer;

TEST(OctetBuffer, ReadsAndWritesNumbersInBothByteOrders)
{
    OctetBuffer buffer(std::vector<Poco::UInt8>{0x12, 0x34, 0x56, 0x78, 0x9A});
    EXPECT_EQ(buffer.getUInt32(0, false), 0x12345678u);
    EXPECT_EQ(buffer.getUInt32(0, true), 0x78563412u);
    EXPECT_EQ(buffer.getUInt32(1, false), 0x3456789Au);
    EXPECT_EQ(buffer.getUInt16(3, false), 0x789Au);
    EXPECT_EQ(buffer.getUInt16(3, true), 0x9A78u);
    EXPECT_EQ(buffer.getUInt8(4), 0x9Au);

    buffer.setUInt32(1, 0xA1B2C3D4u, true);
    EXPECT_EQ(buffer.toHex(), "12d4c3b2a1");
    buffer.setUInt16(0, 0xBEEF, false);
    EXPECT_EQ(buffer.toHex(), "beefc3b2a1");
}

TEST(OctetBuffer, AccessBeyondTheEndThrowsAndChangesNothing)
{
    OctetBuffer buffer(3);
    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    EXPECT_THROW(buffer.getUInt32(0, true), Poco::RangeException);
    EXPECT_THROW(buffer.getUInt16(2, true), Poco::RangeException);
    EXPECT_THROW(buffer.getUInt8(3), Poco::RangeException);
    EXPECT_THROW(buffer.getUInt16(huge, false), Poco::RangeException) << "offset must not wrap around";
    EXPECT_THROW(buffer.setUInt32(huge - 1, 1, false), Poco::RangeException);
    EXPECT_THROW(buffer.setUInt16(2, 0xFFFF, false), Poco::RangeException);
    EXPECT_EQ(buffer.toHex(), "000000");
    EXPECT_THROW(OctetBuffer().getUInt8(0), Poco::RangeException);
    EXPECT_EQ(buffer.getUInt16(1, true), 0u) << "the last whole number is still readable";
}

TEST(OctetBuffer, HexTextRoundTripsAndRejectsMalformedText)
{
    OctetBuffer buffer;
    EXPECT_TRUE(buffer.fromHex("00ff7FaB"));
    EXPECT_EQ(buffer.size(), 4u);
    EXPECT_EQ(buffer.toHex(), "00ff7fab");
    for (const char* bad : {"0", "abc", "0g", "zz", " 00", "00 "})
    {
        EXPECT_FALSE(buffer.fromHex(bad)) << bad;
        EXPECT_EQ(buffer.toHex(), "00ff7fab") << "unchanged after " << bad;
    }
    EXPECT_TRUE(buffer.fromHex(""));
    EXPECT_TRUE(buffer.empty());

    const Poco::UInt8 raw[] = {1, 2};
    buffer.append(raw, 2);
    buffer.append(3);
    EXPECT_EQ(buffer, OctetBuffer(std::vector<Poco::UInt8>{1, 2, 3}));
}

TEST(BitBuffer, BitIIsBitIOfTheLittleEndianFirstWordAndStorageIsWholeWords)
{
    BitBuffer bits(2);
    bits.setBit(0, true);
    EXPECT_EQ(bits.getOctets().getUInt32(0, true), 1u);
    bits.setBit(1, true);
    EXPECT_EQ(bits.getOctets().getUInt32(0, true) & 3u, 3u);
    bits.setBit(0, false);
    EXPECT_EQ(bits.getOctets().getUInt32(0, true), 2u);
    BitBuffer wide(40);
    wide.setBit(31, true);
    wide.setBit(39, true);
    EXPECT_EQ(wide.getOctets().getUInt32(0, true), 0x80000000u);
    EXPECT_EQ(wide.getOctets().getUInt8(4), 0x80u);

    // The first word is always readable.
    for (std::size_t count : {0u, 1u, 31u, 32u, 33u, 64u, 65u})
    {
        const BitBuffer bits(count);
        const OctetBuffer& octets = bits.getOctets();
        EXPECT_GE(octets.size(), 4u);
        EXPECT_EQ(octets.size() % 4, 0u);
        EXPECT_GE(octets.size() * 8, count);
    }

    BitBuffer three(3);
    EXPECT_THROW(three.getBit(3), Poco::RangeException);
    EXPECT_THROW(three.setBit(8, true), Poco::RangeException);
    EXPECT_THROW(BitBuffer().getBit(0), Poco::RangeException);
    EXPECT_EQ(three.getOctets().getUInt32(0, true), 0u);
}

TEST(BitBuffer, ShrinkingClearsTheBitsCutOff)
{
    BitBuffer bits;
    ASSERT_TRUE(bits.fromString("1111"));
    bits.setBitCount(2);
    EXPECT_EQ(bits.getOctets().getUInt32(0, true), 3u);
    bits.setBitCount(4);
    EXPECT_EQ(bits.toString(), "1100") << "regrown bits are 0";
    BitBuffer same;
    ASSERT_TRUE(same.fromString("1100"));
    EXPECT_EQ(bits, same);
}

TEST(BitBuffer, TextRoundTripsAndRejectsOtherCharacters)
{
    BitBuffer bits;
    const std::string text = "1010000000000000000000000000000001";  // 34 bits: two words
    ASSERT_TRUE(bits.fromString(text));
    EXPECT_EQ(bits.getBitCount(), text.size());
    EXPECT_EQ(bits.toString(), text);
    EXPECT_EQ(bits.getOctets().size(), 8u);
    for (const char* bad : {"10a", "1 0", "2", "-1"})
    {
        EXPECT_FALSE(bits.fromString(bad)) << bad;
        EXPECT_EQ(bits.toString(), text);
    }
    EXPECT_TRUE(bits.fromString(""));
    EXPECT_EQ(bits.getBitCount(), 0u);
}
