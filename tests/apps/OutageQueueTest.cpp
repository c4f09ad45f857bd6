// The outage queue: its messages outlive the process in order, the oldest go at the cap (counted once),
// a record cut off by a crash costs only itself, and the file is its user's only.

#include <gtest/gtest.h>

#include <Poco/File.h>
#include <Poco/TemporaryFile.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"
#include "TextFile.h"

using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::OutageQueue;

namespace
{

const std::size_t MEGABYTE = 1024 * 1024;

/// Takes every message out of a queue on `path`, their first texts in order.
std::vector<std::string> drain(const std::string& path, std::size_t cap = MEGABYTE)
{
    OutageQueue queue(path, cap);
    std::vector<std::string> texts;
    queue.replay(
        [&](const OutageQueue::Message& message)
        {
            texts.push_back(message.texts.at(0));
            return true;
        });
    return texts;
}

void pushAll(const std::string& path, const std::vector<std::string>& texts, std::size_t cap = MEGABYTE)
{
    OutageQueue queue(path, cap);
    for (const std::string& text : texts)
        queue.push({Poco::Timestamp(), {text, "payload of " + text}});
}

}  // namespace

TEST(OutageQueueTest, KeepsItsMessagesInOrderAcrossRestartsUntilTheyAreSent)
{
    Poco::TemporaryFile file;
    pushAll(file.path(), {"a", "b"});
    pushAll(file.path(), {"c"});
    {
        // A send that fails leaves its message and the later ones.
        OutageQueue queue(file.path(), MEGABYTE);
        int sent = 0;
        queue.replay([&](const OutageQueue::Message&) { return ++sent < 2; });
        EXPECT_EQ(2u, queue.size());
    }
    struct stat status = {};
    ASSERT_EQ(0, ::stat(file.path().c_str(), &status));
    EXPECT_EQ(0600u, status.st_mode & 0777u);
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), drain(file.path()));
    EXPECT_TRUE(drain(file.path()).empty());
}

TEST(OutageQueueTest, DropsTheOldestAtTheCapAndSaysHowManyOnce)
{
    Poco::TemporaryFile file;
    OutageQueue queue(file.path(), MEGABYTE);
    // 200 kB each: five fit; twelve make the file compact itself on the way.
    for (int i = 0; i < 12; ++i)
        queue.push({Poco::Timestamp(), {std::to_string(i), std::string(200000, 'x')}});
    EXPECT_EQ(5u, queue.size());
    EXPECT_EQ("7 values queued during the outage were dropped at the cap of 1 MB",
              queue.takeDroppedReport("values"));
    EXPECT_EQ("", queue.takeDroppedReport("values"));
    EXPECT_LT(Poco::File(file.path()).getSize(), 2 * MEGABYTE);
    EXPECT_EQ((std::vector<std::string>{"7", "8", "9", "10", "11"}), drain(file.path()));
}

TEST(OutageQueueTest, ARecordCutOffByACrashCostsOnlyItselfAndAForeignFileStartsAnew)
{
    Poco::TemporaryFile file;
    pushAll(file.path(), {"a", "b"});
    const std::string whole = Orvik::Test::readFile(file.path());
    Orvik::Test::writeFile(file.path(), whole + whole.substr(16, 20));  // the start of a third record
    pushAll(file.path(), {"c"});
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), drain(file.path()));

    Orvik::Test::writeFile(file.path(), "not a queue at all");
    pushAll(file.path(), {"d"});
    EXPECT_EQ((std::vector<std::string>{"d"}), drain(file.path()));
}
