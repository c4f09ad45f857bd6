// The spool of read-ahead pages: its file is its user's only and goes with it, it refuses pages beyond
// its cap or its reserve of free space, and a damaged file is an error, never other records.

#include <gtest/gtest.h>

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/TemporaryFile.h>

#include <sys/stat.h>

#include <limits>
#include <string>
#include <vector>

#include "Orvik_BACnet/DataType/BACnetDateTime.h"
#include "Orvik_BACnet/DataType/BACnetLogRecord.h"
#include "Orvik_BACnet/DataType/Date.h"
#include "Orvik_BACnet/DataType/Time.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PageSpool.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher::Test
{

namespace
{

/// Records of several kinds.
ValueContainer somePage()
{
    std::vector<DataType::BACnetLogRecord> records(4);
    records[0].setReal(21.5f);
    records[1].setUnsigned(4000000000u);
    records[2].setFailure(ERROR_CLASS_DEVICE, ERROR_CODE_DEVICE_BUSY);
    records[3].setNull();
    for (auto& record : records)
        record.setDateTime(
            DataType::BACnetDateTime(DataType::Date(2026, 1, 10, 6), DataType::Time(10, 20, 0, 0)));
    ValueContainer page;
    page.setValues(records);
    return page;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    Poco::File(folder).list(names);
    return names;
}

}  // namespace

TEST(PageSpool, KeepsPagesInAPrivateFileWithinItsBoundsAndRemovesIt)
{
    Poco::TemporaryFile folder;
    folder.createDirectories();
    const ValueContainer records = somePage();
    std::string path;
    {
        PageSpool spool(folder.path(), 1 << 20, 0);
        EXPECT_TRUE(filesIn(folder.path()).empty()) << "made before the first page";
        ValueContainer none;  // a page without records
        none.setValues(std::vector<DataType::BACnetLogRecord>{});
        const auto first = spool.put(none);
        const auto second = spool.put(records);
        ASSERT_TRUE(first && second);
        EXPECT_TRUE(spool.take(*second) == records);
        EXPECT_EQ(spool.take(*first).size(), 0u);
        ASSERT_EQ(filesIn(folder.path()).size(), 1u);
        path = folder.path() + "/" + filesIn(folder.path()).front();
        struct stat status
        {
        };
        ASSERT_EQ(::stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);

        // A file cut short is an error.
        ASSERT_EQ(::truncate(path.c_str(), 0), 0);
        EXPECT_THROW(spool.take(*second), Poco::IOException);
    }
    EXPECT_TRUE(filesIn(folder.path()).empty()) << path;

    // No room: no reserve of free space that large, a cap of nothing, a folder that is not there.
    EXPECT_FALSE(
        PageSpool(folder.path(), 1 << 20, std::numeric_limits<Poco::UInt64>::max() / 2).put(records));
    PageSpool full(folder.path(), 0, 0);
    EXPECT_FALSE(full.hasRoom());
    EXPECT_FALSE(full.put(records));
    EXPECT_FALSE(PageSpool(folder.path() + "/missing", 1 << 20, 0).put(records));
    // A record whose time the wire cannot carry as held is kept in memory, not changed on its way.
    DataType::BACnetLogRecord unencodable;
    ValueContainer odd;
    odd.setValues(std::vector<DataType::BACnetLogRecord>{unencodable});
    EXPECT_FALSE(PageSpool(folder.path(), 1 << 20, 0).put(odd));
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher::Test
