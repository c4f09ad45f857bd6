// The gateway's own trend logs end to end: the gateway program records two points of a device on BACnet/IP
// (one by COV, one polled), is killed (SIGKILL) and started again; the trend log pusher's next document
// carries every record the file holds exactly once, the interruption among them, and the npm library's
// client reads the same buffer by position, sequence number and time, and the trend log properties, and
// purges it.
#include "BACnetClient/InteropNetwork.h"
#include "BACnetJSClient.h"
#include "ChildProcess.h"
#include "Eventually.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/LogStore.h"
#include "Orvik_BACnetDevice/Site.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "TextFile.h"
#include "TrendLogPusherFixture.h"

#include <Poco/Data/Session.h>
#include <Poco/StringTokenizer.h>

namespace
{

using namespace Orvik::BACnet;
using Orvik::Test::ChildProcess;

/// A device without trend logs: a drifting supply temperature and a steady room temperature.
const char* const SITE = R"({"tickMs": 100, "devices": [{"instance": 4001, "objects": [
    {"type": "analog-input", "instance": 1, "presentValue": 20.0, "covIncrement": 0.05,
     "drift": {"amplitude": 2.0, "periodSeconds": 3}},
    {"type": "analog-input", "instance": 2, "presentValue": 7.5}]}]})";

const char* const OWN_DEVICE = R"({"devices": [{"objects": [
    {"type": "trend-log", "instance": 1, "name": "Supply", "logs": "device:4001/analog-input:1",
     "record": {"cov": true, "resubscriptionSeconds": 60}},
    {"type": "trend-log", "instance": 2, "name": "Room", "logs": "device:4001/analog-input:2",
     "record": {"intervalSeconds": 0.5}},
    {"type": "trend-log", "instance": 3, "name": "Room on demand", "logs": "device:4001/analog-input:2",
     "record": {"triggered": true}}]}]})";

const Poco::UInt32 GATEWAY = 1001;
const int BOUND_MS = 30000;

class OwnTrendLogExport : public TrendLogPusherFixture
{
protected:
    OwnTrendLogExport() : _pSite(Device::Site::parse(SITE, "site.json")), _server(*_pSite, {})
    {
        _server.start();
        _folder.createDirectories();
        Orvik::Test::writeFile(path("own.json"), OWN_DEVICE);
    }

    std::string path(const std::string& name) const { return _folder.path() + "/" + name; }

    /// Starts the gateway program and returns where its own device answers.
    Poco::Net::SocketAddress startGateway()
    {
        const Poco::StringTokenizer words(ORVIK_GATEWAY_COMMAND, "|",
                                          Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        std::vector<std::string> arguments(words.begin() + 1, words.end());
        arguments.insert(arguments.end(),
                         {"--database=" + path("gateway.db"), "--device-instance=1001",
                          "--bacnet-ip=127.0.0.1:0", "--local-device=" + path("own.json"),
                          "--bacnet-device=4001=" + _server.endpoints().at(0).address.toString()});
        _pGateway = std::make_unique<ChildProcess>(*words.begin(), arguments);
        const std::string answers = "Own BACnet device 1001 answers at ";
        std::string address;
        _pGateway->waitFor(
            ChildProcess::Stream::ERROR,
            [&](const std::vector<std::string>& lines)
            {
                for (const std::string& line : lines)
                    if (line.find(answers) != std::string::npos)
                        address = line.substr(line.find(answers) + answers.size());
                return !address.empty();
            },
            BOUND_MS);
        if (address.empty())
            throw Poco::TimeoutException("the gateway did not start: " + _pGateway->errorText());
        return Poco::Net::SocketAddress(address);
    }

    /// How many records of `log` the gateway's file holds, read while the gateway writes it.
    std::size_t countHeld(Poco::UInt32 log) const
    {
        Orvik::Utility::Data::TeskDbSession session(path("gateway.trend-logs.db"));
        Poco::Int64 instance = log;
        Poco::Int64 count = 0;
        session << "SELECT COUNT(*) FROM record WHERE instance=?", Poco::Data::Keywords::use(instance),
            Poco::Data::Keywords::into(count), Poco::Data::Keywords::now;
        return static_cast<std::size_t>(count);
    }

    /// The records of `log` in the gateway's file, once the gateway has ended.
    std::vector<Device::LogStore::Record> held(Poco::UInt32 log) const
    {
        Device::LogStore store(path("gateway.trend-logs.db"));
        Device::LogStore::Log settings;
        settings.instance = log;
        settings.bufferSize = 1000000;
        store.addLog(settings, true);
        const Device::LogStore::State state = store.state(log);
        return store.read(log, state.first, state.last);
    }

    /// Waits until each log holds `count` records more than `before1` and `before2`.
    bool grows(std::size_t count, std::size_t before1, std::size_t before2) const
    {
        return Orvik::Test::eventually(
            [&] { return countHeld(1) >= before1 + count && countHeld(2) >= before2 + count; },
            std::chrono::milliseconds(BOUND_MS));
    }

    Poco::TemporaryFile _folder;
    std::unique_ptr<Device::Site> _pSite;
    Device::IP::SiteServer _server;
    std::unique_ptr<ChildProcess> _pGateway;
};

using Device::LogStore;

std::string channelOf(Poco::UInt32 instance)
{
    const DataType::BACnetDeviceObjectPropertyReference logged(
        DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, instance), PROP_PRESENT_VALUE, BACNET_ARRAY_ALL,
        DataType::ObjectIdentifier(OBJECT_DEVICE, 4001));
    std::string hex;
    return logged.getHexIdentifier(DataType::ObjectIdentifier(OBJECT_DEVICE, GATEWAY), hex);
}

}  // namespace

TEST_F(OwnTrendLogExport, AKilledGatewayGoesOnAfterItsInterruptionAndThePusherExportsEveryRecordOnce)
{
    startGateway();
    ASSERT_TRUE(grows(3, 0, 0)) << _pGateway->errorText();
    _pGateway->kill();
    const std::size_t kept1 = countHeld(1);
    const std::size_t kept2 = countHeld(2);
    const Poco::Net::SocketAddress gateway = startGateway();
    ASSERT_TRUE(grows(3, kept1, kept2)) << _pGateway->errorText();

    _pRig = std::make_unique<TrendLogPusherRig>(_databaseFile.path(),
                                                Orvik::Test::InteropNetwork::make(gateway), GATEWAY);
    _pRig->database().configure(ftp().url(), "orvik", "secret", "", 1, 0);
    ASSERT_TRUE(start().createAndSendFiles()) << _pRig->out();
    EXPECT_EQ(_pGateway->stop(BOUND_MS), 0) << _pGateway->errorText();

    const std::vector<TrendLogPusherDocument> uploaded = documents(ftp());
    ASSERT_EQ(uploaded.size(), 1u);
    for (Poco::UInt32 log : {1u, 2u})
    {
        // The document holds the file's records from the first on, each once and in order, up to the
        // last one logged before the pusher read the buffer.
        std::vector<LogStore::Record> records = held(log);
        const std::vector<std::string> exported = uploaded[0].records(channelOf(log));
        ASSERT_GE(records.size(), exported.size());
        ASSERT_GT(exported.size(), (log == 1 ? kept1 : kept2)) << "log " << log;
        bool interrupted = false;
        for (std::size_t i = 0; i < exported.size(); ++i)
        {
            records[i].datum.setDateTime(DataType::BACnetDateTime(records[i].time));
            EXPECT_EQ(exported[i], uploaded[0].canonicalRecord(records[i].datum))
                << "log " << log << " record " << i;
            interrupted = interrupted || (records[i].datum.getChoice() == LOG_DATUM_LOG_STATUS &&
                                          records[i].datum.getBitString().getBit(2));
        }
        EXPECT_TRUE(interrupted) << "log " << log;
    }
}

TEST_F(OwnTrendLogExport, TheNpmClientReadsTheBufferByPositionSequenceAndTimeAndThePropertiesAndPurgesIt)
{
    if (!Orvik::Test::BACnetJSClient::missing().empty())
        GTEST_SKIP() << Orvik::Test::BACnetJSClient::missing();
    const Poco::Net::SocketAddress gateway = startGateway();
    ASSERT_TRUE(grows(4, 0, 0)) << _pGateway->errorText();
    Orvik::Test::BACnetJSClient client(gateway);
    EXPECT_EQ(client.ask("whois " + gateway.toString()), R"({"devices":[1001]})");
    // 132 log-device-object-property, 134 log-interval, 197 logging-type, 128 cov-resubscription-interval,
    // 126 buffer-size, 141 record-count, 145 total-record-count, 144 stop-when-full, 133 enable,
    // 142 start-time, 143 stop-time, 111 status-flags, 36 event-state.
    for (const char* property :
         {"132", "134", "197", "128", "126", "141", "145", "144", "133", "142", "143", "111", "36"})
        EXPECT_EQ(client.ask(std::string("read 1001 20:2 ") + property).find("error"), std::string::npos)
            << property;
    EXPECT_EQ(client.ask("read 1001 20:2 134"), R"({"values":[50]})");
    EXPECT_EQ(client.ask("read 1001 20:1 197"), R"({"values":[1]})");  // COV
    EXPECT_NE(client.ask("read 1001 20:2 131").find("error"),
              std::string::npos);  // log-buffer: ReadRange only

    const std::string all = client.ask("readrange 1001 20:2 5");
    EXPECT_NE(all.find(R"("value":7.5)"), std::string::npos) << all;
    const std::string bySequence = client.ask("readrangeby 1001 20:2 sequence 2 2");
    EXPECT_NE(bySequence.find(R"("items":2,"flags":[false,false,false])"), std::string::npos) << bySequence;
    // After the second record's time comes the third.
    const auto timeOf = [&](const std::string& sequenceNumber)
    {
        const std::string page = client.ask("readrangeby 1001 20:2 sequence " + sequenceNumber + " 1");
        const std::size_t at = page.find(R"("time":")") + 8;
        return page.substr(at, page.find('"', at) - at);
    };
    const std::string byTime = client.ask("readrangeby 1001 20:2 time " + timeOf("2") + " 1");
    EXPECT_NE(byTime.find(R"("items":1,)"), std::string::npos) << byTime;
    EXPECT_NE(byTime.find(timeOf("3")), std::string::npos) << byTime;

    // A triggered log holds nothing until a tool sets its trigger, then the record of one read.
    EXPECT_EQ(client.ask("read 1001 20:3 197"), R"({"values":[2]})");
    EXPECT_EQ(countHeld(3), 0u);
    EXPECT_EQ(client.ask("write 1001 20:3 205 b:1 16"), R"({"ok":true})");
    EXPECT_TRUE(Orvik::Test::eventually([&] { return countHeld(3) == 1; }));
    EXPECT_NE(client.ask("readrange 1001 20:3 5").find(R"("value":7.5)"), std::string::npos);
    EXPECT_EQ(client.ask("read 1001 20:3 205"), R"({"values":[false]})");

    // record-count written to 0 purges: the purge's own record is left; any other count is refused.
    EXPECT_NE(client.ask("write 1001 20:2 141 u:5 16").find("error"), std::string::npos);
    EXPECT_EQ(client.ask("write 1001 20:2 141 u:0 16"), R"({"ok":true})");
    const std::string count = client.ask("read 1001 20:2 141");
    EXPECT_TRUE(count == R"({"values":[1]})" || count == R"({"values":[2]})") << count;  // a poll may follow
}
