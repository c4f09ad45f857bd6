// The DataType records: identifier and key encodings, addresses and their MAC texts, date and time
// conversions in a zone with daylight saving, log records and the hexadecimal channel identity.

#include <gtest/gtest.h>

#include <Poco/DateTime.h>
#include <Poco/Exception.h>
#include <Poco/Timezone.h>

#include "Orvik_BACnet/ConvertItBACnet.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetLogRecord.h"
#include "Orvik_BACnet/DataType/Proprietary/VendorOrvik/BACnetTrendLogLastUploaded.h"
#include "Orvik_BACnet/LocalTimeConverter.h"
#include "Orvik_BACnet/TimeZoneState.h"
#include "ScopedTimeZone.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::DataType;

using Orvik::Test::ScopedTimeZone;

TEST(DataTypeTest, ObjectIdentifierEncodesTypeTimesTwoToThe22PlusInstance)
{
    const ObjectIdentifier device(OBJECT_DEVICE, 266771);
    EXPECT_EQ(device.getEncoded(), 8u * 4194304u + 266771u);
    EXPECT_EQ(ObjectIdentifier::fromEncoded(device.getEncoded()), device);
    EXPECT_EQ(ObjectIdentifier::fromEncoded(0xFFFFFFFFu).getObjectType(), 1023u);
    EXPECT_EQ(ObjectIdentifier::fromEncoded(0xFFFFFFFFu).getInstance(), 4194303u);
    EXPECT_EQ(ObjectIdentifier().getEncoded(), 0xFFFFFFFFu);  // names no object
    EXPECT_EQ(device.toString(), "device:266771");
    EXPECT_EQ(ObjectIdentifier(200, 1).toString(), "200:1");
    EXPECT_THROW(ObjectIdentifier(1024, 0), Poco::RangeException);
    EXPECT_THROW(ObjectIdentifier(OBJECT_DEVICE, 4194304), Poco::RangeException);
}

TEST(DataTypeTest, DeviceObjectReferenceKeyHoldsTheDeviceInstanceInTheHighHalf)
{
    const BACnetDeviceObjectReference reference(ObjectIdentifier(OBJECT_DEVICE, 5),
                                                ObjectIdentifier(OBJECT_TRENDLOG, 3));
    EXPECT_EQ(reference.getKey(), (std::uint64_t(5) << 32) | (20u << 22 | 3u));
    EXPECT_EQ(BACnetDeviceObjectReference(reference.getKey()), reference);
    EXPECT_FALSE(BACnetDeviceObjectReference().hasDevice());

    const BACnetDeviceObjectReference sameDeviceLaterObject(ObjectIdentifier(OBJECT_DEVICE, 5),
                                                            ObjectIdentifier(OBJECT_TRENDLOG, 4));
    const BACnetDeviceObjectReference nextDevice(ObjectIdentifier(OBJECT_DEVICE, 6),
                                                 ObjectIdentifier(OBJECT_ANALOG_INPUT, 0));
    EXPECT_LT(reference, sameDeviceLaterObject);
    EXPECT_LT(sameDeviceLaterObject, nextDevice);
    EXPECT_NE(reference, sameDeviceLaterObject);

    using Proprietary::VendorOrvik::BACnetTrendLogLastUploaded;
    const BACnetTrendLogLastUploaded position(reference, Poco::Timestamp(1234567));
    EXPECT_EQ(BACnetTrendLogLastUploaded(reference).getTimeStamp(), Poco::Timestamp(0));
    EXPECT_NE(position, BACnetTrendLogLastUploaded(reference));
    EXPECT_EQ(static_cast<const BACnetDeviceObjectReference&>(position), reference);
}

TEST(DataTypeTest, HexIdentifierNamesDeviceObjectPropertyAndIndex)
{
    const ObjectIdentifier trendLogDevice(OBJECT_DEVICE, 9);
    BACnetDeviceObjectPropertyReference local(ObjectIdentifier(OBJECT_ANALOG_INPUT, 5), PROP_PRESENT_VALUE);
    std::string hex;
    // device and object, property, array index
    EXPECT_EQ(local.getHexIdentifier(trendLogDevice, hex), "020000090000000500000055FFFFFFFF");
    const BACnetDeviceObjectPropertyReference remote(
        ObjectIdentifier(OBJECT_ANALOG_INPUT, 5), PROP_PRESENT_VALUE, 2, ObjectIdentifier(OBJECT_DEVICE, 7));
    EXPECT_EQ(remote.getHexIdentifier(trendLogDevice, hex), "02000007000000050000005500000002");
}

TEST(DataTypeTest, AddressDefaultsToGlobalBroadcastAndReadsMacTexts)
{
    BACnetAddress address;
    std::string text;
    EXPECT_TRUE(address.isGlobalBroadcast());
    EXPECT_EQ(address.getString(text, false), "65535/");
    EXPECT_EQ(address.getString(text, true), "");

    ASSERT_TRUE(address.setMAC("192.168.1.10:47809"));
    address.setNetworkNumber(0);
    ASSERT_EQ(address.getMACLength(), 6u);
    EXPECT_EQ(address.getMAC()[0], 192);
    EXPECT_EQ(address.getMAC()[4], 0xBA);
    EXPECT_EQ(address.getMAC()[5], 0xC1);
    EXPECT_EQ(address.getString(text, true), "192.168.1.10:47809");
    EXPECT_EQ(address.getString(text, false), "0/192.168.1.10:47809");
    ASSERT_TRUE(address.setMAC("10.0.0.1"));
    EXPECT_EQ(address.getString(text, true), "10.0.0.1:47808");
    ASSERT_TRUE(address.setMAC("1f"));
    EXPECT_EQ(address.getString(text, true), "1f");
    ASSERT_TRUE(address.setMAC("0a:1B-2c"));
    EXPECT_EQ(address.getString(text, true), "0a:1b:2c");

    for (const char* bad :
         {"300.1.1.1", "1.2.3", "1.2.3.4:70000", "zz", "0a1", "01:02:03:04:05:06:07:08", "0a:"})
    {
        EXPECT_FALSE(address.setMAC(bad)) << bad;
        EXPECT_EQ(address.getString(text, true), "0a:1b:2c") << bad;  // unchanged
    }
    ASSERT_TRUE(address.setMAC(""));
    EXPECT_TRUE(address.isBroadcast());
}

TEST(DataTypeTest, DateTimeFollowsTheGatewaysZoneBothWays)
{
    const ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const Poco::Timestamp summer = Poco::DateTime(2024, 7, 1, 10, 0, 0, 123, 456).timestamp();
    const BACnetDateTime local(summer);
    EXPECT_EQ(local.date, Date(2024, 7, 1, 1));
    EXPECT_EQ(local.time, Time(12, 0, 0, 12));  // UTC+2, hundredths truncated
    EXPECT_EQ(local.toTimestamp(), Poco::DateTime(2024, 7, 1, 10, 0, 0, 120).timestamp());
    const Poco::Timestamp winter = Poco::DateTime(2024, 1, 15, 23, 30).timestamp();
    EXPECT_EQ(BACnetDateTime(winter).time.hour, 0);  // already the next day in UTC+1
    EXPECT_EQ(BACnetDateTime(winter).date, Date(2024, 1, 16, 2));
    EXPECT_EQ(BACnetDateTime(winter).toTimestamp(), winter);

    EXPECT_FALSE(BACnetDateTime().isSpecified());
    EXPECT_THROW(BACnetDateTime().toTimestamp(), Poco::InvalidArgumentException);
    EXPECT_EQ(Date().year, 0);
    EXPECT_EQ(Date::weekdayOf(2024, 2, 30), Date::_UNSPECIFIED);

    Date date;
    Orvik::Utility::ConvertIt::getBACnetDate(Poco::LocalDateTime(2024, 3, 5, 14, 3, 7), date);
    EXPECT_EQ(date, Date(2024, 3, 5, 2));
}

TEST(DataTypeTest, LocalTimeConverterGivesWhatBACnetDateTimeGivesWithFewLookUps)
{
    const Poco::Timestamp::TimeDiff SECOND = 1000000;
    const Poco::Timestamp::TimeDiff STEP = 3607 * SECOND + 130000;
    // A year hour by hour (an odd step), and minute by minute (another) around every offset change.
    for (const char* name : {"CET-1CEST,M3.5.0,M10.5.0/3", "Australia/Lord_Howe", "America/Santiago", "UTC0"})
    {
        SCOPED_TRACE(name);
        const ScopedTimeZone zone(name);
        // One converter each way, as a device and the gateway use them.
        LocalTimeConverter toLocal, toUtc;
        std::size_t conversions = 0;
        const auto localFields = [](const Poco::Timestamp& time)
        {
            const BACnetDateTime local(time);
            return Poco::DateTime(local.date.year, local.date.month, local.date.day, local.time.hour,
                                  local.time.min, local.time.sec, local.time.hundredths * 10)
                .timestamp();
        };
        const auto check = [&](const Poco::Timestamp& time)
        {
            const BACnetDateTime local(time);
            ASSERT_EQ(toLocal.toLocal(time), local) << time.epochMicroseconds();
            ASSERT_EQ(toUtc.toUtc(local), local.toTimestamp()) << time.epochMicroseconds();
            ++conversions;
        };
        const Poco::Timestamp start = Poco::DateTime(2024, 1, 1).timestamp();
        for (Poco::Timestamp time = start; time < start + 366LL * 86400 * SECOND; time += STEP)
        {
            check(time);
            if (localFields(time + STEP) - localFields(time) != STEP)
            {
                for (Poco::Timestamp near = time - 3600 * SECOND; near < time + 7200 * SECOND;
                     near += 59 * SECOND)
                    check(near);
            }
        }
        EXPECT_LT(toLocal.getLookUps() + toUtc.getLookUps(), conversions / 32);
    }
    LocalTimeConverter converter;
    EXPECT_THROW(converter.toUtc(BACnetDateTime()), Poco::InvalidArgumentException);
}

TEST(DataTypeTest, TimeZoneStateGivesTheStandardOffsetAndWhetherDaylightSavingIsOn)
{
    // Daylight saving leaves the offset unchanged, also where it shifts by half an hour (Lord Howe).
    const struct
    {
        const char* zone;
        int month;
        std::int32_t utcOffset;
        bool daylightSaving;
    } rows[] = {{"CET-1CEST,M3.5.0,M10.5.0/3", 7, -60, true}, {"CET-1CEST,M3.5.0,M10.5.0/3", 1, -60, false},
                {"America/New_York", 7, 300, true},           {"Australia/Lord_Howe", 1, -630, true},
                {"Australia/Lord_Howe", 7, -630, false},      {"UTC0", 7, 0, false}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::string(row.zone) + " in month " + std::to_string(row.month));
        const ScopedTimeZone zone(row.zone);
        const TimeZoneState state = TimeZoneState::at(Poco::DateTime(2024, row.month, 15).timestamp());
        EXPECT_EQ(state.utcOffset, row.utcOffset);
        EXPECT_EQ(state.daylightSaving, row.daylightSaving);
        // Today's values as Poco gives them, on one thread.
        const Poco::Timestamp now;
        EXPECT_EQ(TimeZoneState::at(now).utcOffset, -Poco::Timezone::utcOffset() / 60);
        EXPECT_EQ(TimeZoneState::at(now).daylightSaving, Poco::Timezone::isDst(now));
    }
}

TEST(DataTypeTest, LogRecordKeepsItsChoiceAndRefusesLongBitStrings)
{
    BACnetLogRecord record;
    EXPECT_EQ(record.getChoice(), LOG_DATUM_NULL_VALUE);
    record.setEnumerated(7);
    EXPECT_EQ(record.getEnumerated(), 7u);
    EXPECT_EQ(record.getUnsigned(), 0u);  // another choice reads as zero
    record.setFailure(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_APPLICATION_EXCEEDED_REPLY_TIME);
    EXPECT_EQ(record.getErrorClass(), ERROR_CLASS_COMMUNICATION);
    EXPECT_EQ(record.getErrorCode(), 124u);
    EXPECT_THROW(record.setBitString(BitString(65)), Poco::RangeException);
    EXPECT_EQ(record.getChoice(), LOG_DATUM_FAILURE);  // unchanged by the refused bits
    EXPECT_FALSE(record.hasStatusFlags());
    EXPECT_EQ(record.getStatusFlags().getBitCount(), 4u);
}
