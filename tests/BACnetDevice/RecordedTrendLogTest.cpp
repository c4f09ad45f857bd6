// A trend log that the own device records, as a tool sees it: its properties, its buffer by ReadRange
// (page by page from the file) and the purge by writing record-count.
#include "Orvik_BACnetDevice/LogStore.h"
#include "Orvik_BACnetDevice/Site.h"
#include "TextFile.h"

#include <Poco/TemporaryFile.h>
#include <gtest/gtest.h>

namespace Orvik::BACnet::Device::Test
{

namespace
{

const DataType::ObjectIdentifier TREND_LOG(OBJECT_TREND_LOG, 1);
/// Record n was logged n seconds after this.
const Poco::Timestamp::TimeDiff START = 1800000000LL * 1000000;

class RecordedTrendLogTest : public testing::Test
{
protected:
    RecordedTrendLogTest()
    {
        _folder.createDirectories();
        Orvik::Test::writeFile(_folder.path() + "/own.json", R"({"devices": [{"objects": [
            {"type": "trend-log", "instance": 1, "logs": "device:2001/analog-input:1",
             "record": {"intervalSeconds": 60, "bufferSize": 100}}]}]})");
        _pStore = std::make_shared<LogStore>(_folder.path() + "/records.db");
        _pSite = Site::loadOwnDevice(_folder.path() + "/own.json", 7, _pStore);
        std::vector<LogStore::Entry> entries;
        for (int n = 1; n <= 150; ++n)
        {
            LogStore::Entry entry{1, {Poco::Timestamp(START + n * 1000000LL), {}}};
            entry.record.datum.setReal(static_cast<float>(n));
            entries.push_back(entry);
        }
        _pStore->append(entries);
    }

    ValueContainer read(BACNET_PROPERTY_ID property, const DataType::ObjectIdentifier& object = TREND_LOG)
    {
        ValueContainer value;
        const Codec::ServiceError error = _pSite->readProperty(7, object, property, value);
        EXPECT_FALSE(error.hasError()) << property;
        return value;
    }

    ServiceReply serve(ServiceRequest::Payload request)
    {
        Site::Served served = _pSite->serve(7, ServiceRequest(std::move(request)), {}, Poco::Timestamp());
        return served.reply.value();
    }

    Poco::TemporaryFile _folder;
    std::shared_ptr<LogStore> _pStore;
    std::unique_ptr<Site> _pSite;
};

}  // namespace

TEST_F(RecordedTrendLogTest, ReadRangeByPositionSequenceAndTimeReadsTheFile)
{
    struct Case
    {
        const char* name;
        Codec::ReadRange::RangeType type;
        Poco::UInt32 reference;  ///< position, sequence number, or seconds after START (plus a half)
        Poco::Int32 count;
        Poco::UInt32 firstSequence;
        Poco::UInt32 items;
        Poco::UInt32 flags;
    };
    using R = Codec::ReadRange;
    const Case cases[] = {
        {"position", R::BY_POSITION, 1, 3, 51, 3, R::FIRST_ITEM},
        {"a page at most", R::BY_POSITION, 1, 500, 51, 51, R::FIRST_ITEM | R::MORE_ITEMS},
        {"sequence", R::BY_SEQUENCE_NUMBER, 149, 5, 149, 2, R::LAST_ITEM},
        {"overwritten", R::BY_SEQUENCE_NUMBER, 10, 5, 0, 0, 0},
        {"time back", R::BY_TIME, 120, -2, 119, 2, 0},
        {"time on", R::BY_TIME, 148, 10, 149, 2, R::LAST_ITEM},
    };
    for (const Case& c : cases)
    {
        R::Request request;
        request.objectIdentifier = TREND_LOG;
        request.range.type = c.type;
        request.range.referenceIndex = c.reference;
        request.range.referenceSequenceNumber = c.reference;
        request.range.referenceTime =
            DataType::BACnetDateTime(Poco::Timestamp(START + c.reference * 1000000LL + 500000));
        request.range.count = c.count;
        const auto& ack = std::get<R::Ack>(serve(request).payload);
        EXPECT_EQ(ack.itemCount, c.items) << c.name;
        EXPECT_EQ(ack.resultFlags, c.flags) << c.name;
        if (c.items == 0)
            continue;
        EXPECT_EQ(ack.firstSequenceNumber, c.firstSequence) << c.name;
        EXPECT_EQ(ack.items.at(0).get<DataType::BACnetLogRecord>().getReal(),
                  static_cast<float>(c.firstSequence))
            << c.name;
    }
}

TEST_F(RecordedTrendLogTest, ItHasTheTrendLogPropertiesAndWritingRecordCountZeroPurges)
{
    const ValueContainer objects = read(PROP_OBJECT_LIST, DataType::ObjectIdentifier(OBJECT_DEVICE, 7));
    EXPECT_EQ(objects.at(1).get<DataType::ObjectIdentifier>(), TREND_LOG);
    EXPECT_EQ(read(PROP_RECORD_COUNT).getUInt(), 100u);
    EXPECT_EQ(read(PROP_TOTAL_RECORD_COUNT).getUInt(), 150u);
    EXPECT_EQ(read(PROP_BUFFER_SIZE).getUInt(), 100u);
    EXPECT_EQ(read(PROP_LOG_INTERVAL).getUInt(), 6000u);
    EXPECT_EQ(read(PROP_LOGGING_TYPE).getEnum(), static_cast<Poco::UInt32>(LOGGING_TYPE_POLLED));
    EXPECT_TRUE(read(PROP_ENABLE).getBool());
    EXPECT_FALSE(read(PROP_STOP_WHEN_FULL).getBool());
    EXPECT_EQ(read(PROP_LOG_DEVICE_OBJECT_PROPERTY)
                  .at(0)
                  .get<DataType::BACnetDeviceObjectPropertyReference>()
                  .getDeviceIdentifier()
                  .getInstance(),
              2001u);
    for (BACNET_PROPERTY_ID property : {PROP_START_TIME, PROP_STOP_TIME, PROP_STATUS_FLAGS, PROP_EVENT_STATE,
                                        PROP_COV_RESUBSCRIPTION_INTERVAL})
        read(property);

    Codec::WriteProperty::Request write;
    write.objectIdentifier = TREND_LOG;
    write.property = Codec::PropertyReference(PROP_RECORD_COUNT);
    write.value.setUInt(5);
    EXPECT_EQ(std::get<Codec::ServiceError>(serve(write).payload),
              Codec::ServiceError(ERROR_CLASS_PROPERTY, ERROR_CODE_VALUE_OUT_OF_RANGE));
    write.value.setUInt(0);
    EXPECT_TRUE(std::holds_alternative<ServiceReply::SimpleAck>(serve(write).payload));
    // Only the record of the purge is left; its number goes on.
    EXPECT_EQ(read(PROP_RECORD_COUNT).getUInt(), 1u);
    EXPECT_EQ(read(PROP_TOTAL_RECORD_COUNT).getUInt(), 151u);
}

}  // namespace Orvik::BACnet::Device::Test
