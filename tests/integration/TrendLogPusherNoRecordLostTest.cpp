// No record is lost: the trend log pusher runs many upload attempts against live trend logs while
// faults are injected at random (FTP or SFTP server, devices, and the gateway process killed
// mid-upload). In the end every record of every trend log is in some completely uploaded document.

#include <Poco/DateTimeFormatter.h>
#include <Poco/FileStream.h>
#include <Poco/Net/DatagramSocket.h>
#include <Poco/Process.h>
#include <Poco/StringTokenizer.h>
#include <Poco/Thread.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "BACnetClient/InteropNetwork.h"
#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Npdu.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "TrendLogPusherFixture.h"

using Orvik::BACnet::Client::Simulation::SimulatedFault;
using Orvik::Test::FtpFault;
using Orvik::Test::FtpServer;
using Orvik::Test::SshServer;

namespace
{

const Poco::UInt32 GATEWAY = 1001;
const Poco::UInt32 CONTROLLER = 2001;

/// Live trend logs that started a minute before `now`: the gateway logs every 50 ms, the controller
/// every 200 ms (a trend log and, with `multiple`, a trend log multiple). With `routedDropRate` both devices
/// are on network 5 behind a router (MACs 01 and 02) and lose that share of what the router passes them.
std::string liveSite(bool multiple = true, std::optional<double> routedDropRate = std::nullopt,
                     const Poco::Timestamp& now = Poco::Timestamp())
{
    const auto placed = [&](const char* mac)
    {
        return routedDropRate ? R"("network": 5, "mac": ")" + std::string(mac) + R"(", "dropRate": )" +
                                    std::to_string(*routedDropRate) + ", "
                              : std::string();
    };
    const std::string log =
        R"("log": {"count": 10, "bufferSize": 1000000, "live": true, "start": ")" +
        Poco::DateTimeFormatter::format(now - 60 * Poco::Timespan::SECONDS, "%Y-%m-%dT%H:%M:%SZ") +
        R"(", "intervalSeconds": )";
    return R"({"tickMs": 100, "devices": [{"instance": 1001, )" + placed("01") + R"("objects": [
  {"type": "analog-value", "instance": 1, "presentValue": 20.0},
  {"type": "trend-log", "instance": 1, "logs": "analog-value:1", )" +
           log + R"(0.05}}]},
  {"instance": 2001, )" +
           placed("02") + R"("objects": [{"type": "analog-input", "instance": 1, "presentValue": 55.0},
  {"type": "analog-input", "instance": 2, "presentValue": 40.0},
  {"type": "trend-log", "instance": 1, "logs": "analog-input:1", )" +
           log + "0.2}}" +
           (multiple
                ? R"(, {"type": "trend-log-multiple", "instance": 1, "logs": ["analog-input:1", "analog-input:2"], )" +
                      log + "0.2}}"
                : "") +
           "]}]}";
}

bool isPartial(const std::string& name)
{
    return name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
}

/// The uploaded records of every channel in the complete documents (channel -> record -> documents
/// that hold it); counts the partial uploads left under the temporary name, and the records uploaded
/// twice.
struct Uploads
{
    std::map<std::string, std::map<std::string, int>> records;
    std::size_t partial = 0;
    std::size_t duplicates = 0;

    template <class Server>
    Uploads(const Server& server, const TrendLogPusherSiteRecords& site)
    {
        for (const std::string& name : server.files())
        {
            if (isPartial(name))
            {
                ++partial;
                continue;
            }
            const TrendLogPusherDocument document(server.readFile(name));  // throws for an incomplete one
            for (const auto& tl : site.trendLogs())
            {
                for (const std::string& record : document.records(tl.channelIdentifier))
                    duplicates += ++records[tl.channelIdentifier][record] > 1 ? 1 : 0;
            }
        }
    }
};

/// No gap: every record of every trend log of `reference`, up to the last one uploaded, is in some
/// document, and after a minute of logging that is more than a minute's worth.
void expectNoGap(const Uploads& uploads, const TrendLogPusherSiteRecords& site,
                 const Orvik::BACnet::Client::Simulation::SimulatedSite& reference)
{
    for (const auto& tl : site.trendLogs())
    {
        const auto it = uploads.records.find(tl.channelIdentifier);
        ASSERT_NE(it, uploads.records.end()) << "nothing of " << tl.channelIdentifier << " was uploaded";
        const auto& uploaded = it->second;
        std::size_t found = 0;
        Poco::UInt64 sequenceNumber = 1;
        for (; found < uploaded.size() && sequenceNumber <= reference.getLastSequenceNumber(tl.key);
             ++sequenceNumber)
        {
            for (const std::string& record : site.records(tl, sequenceNumber))
            {
                ASSERT_EQ(1u, uploaded.count(record))
                    << "record " << sequenceNumber << " of " << tl.key.objectIdentifier.toString()
                    << " of device " << tl.key.deviceInstance << " was never uploaded";
                ++found;
            }
        }
        EXPECT_EQ(uploaded.size(), found) << "documents hold records the site never logged";
        EXPECT_GT(sequenceNumber, tl.key.deviceInstance == GATEWAY ? 1200u : 300u);  // a minute of logging
    }
}

/// The gateway's way to the router of orvik-site's server: a station of the test that passes every
/// datagram on, to the router it is switched to (of a lossy or a lossless server of the same site), and
/// counts the confirmed requests sent again: behind a router a device has one request outstanding, so a
/// request under the invoke id of the one before it to that device is that request once more.
class RouterLink
{
public:
    explicit RouterLink(const Poco::Net::SocketAddress& router) : _router(router)
    {
        for (Poco::Net::DatagramSocket* pSocket : {&_gatewaySide, &_routerSide})
            pSocket->setReceiveTimeout(Poco::Timespan(0, 50000));
        _threads.emplace_back([this] { pass(_gatewaySide, true); });
        _threads.emplace_back([this] { pass(_routerSide, false); });
    }
    ~RouterLink()
    {
        _running = false;
        for (std::thread& thread : _threads)
            thread.join();
    }

    /// Where the gateway's broadcasts go: the router as the gateway sees it.
    Poco::Net::SocketAddress address() const { return _gatewaySide.address(); }
    void switchTo(const Poco::Net::SocketAddress& router)
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        _router = router;
    }
    std::size_t retries() const { return _retries; }

private:
    void pass(Poco::Net::DatagramSocket& from, bool fromGateway)
    {
        Orvik::BACnet::Codec::Octets datagram(2048);
        while (_running)
        {
            Poco::Net::SocketAddress sender;
            int size = 0;
            try
            {
                size = from.receiveFrom(datagram.data(), static_cast<int>(datagram.size()), sender);
            }
            catch (const Poco::TimeoutException&)
            {
                continue;
            }
            const std::lock_guard<std::mutex> lock(_mutex);
            if (fromGateway)
            {
                _gateway = sender;
                count(Orvik::BACnet::Codec::OctetView(datagram.data(), static_cast<std::size_t>(size)));
                _routerSide.sendTo(datagram.data(), size, _router);
            }
            else if (_gateway)
                _gatewaySide.sendTo(datagram.data(), size, *_gateway);
        }
    }
    void count(Orvik::BACnet::Codec::OctetView datagram)
    {
        using namespace Orvik::BACnet::Codec;
        try
        {
            const Npdu::Message npdu = Npdu::decode(Bvll::decode(datagram).payload);
            if (npdu.header.isNetworkMessage || !npdu.header.hasDestination)
                return;
            const Apdu::Header apdu = Apdu::decode(npdu.payload).header;
            if (apdu.type != Apdu::CONFIRMED_REQUEST)
                return;
            const auto& mac = npdu.header.destination;
            const std::string device(mac.getMAC(), mac.getMAC() + mac.getMACLength());
            const auto last = _lastInvokeId.find(device);
            _retries += last != _lastInvokeId.end() && last->second == apdu.invokeId ? 1 : 0;
            _lastInvokeId[device] = apdu.invokeId;
        }
        catch (const DecodeError&)
        {
        }
    }

    Poco::Net::DatagramSocket _gatewaySide{Poco::Net::SocketAddress("127.0.0.1", 0)};
    Poco::Net::DatagramSocket _routerSide{Poco::Net::SocketAddress("127.0.0.1", 0)};
    std::mutex _mutex;
    Poco::Net::SocketAddress _router;
    std::optional<Poco::Net::SocketAddress> _gateway;
    std::map<std::string, std::uint8_t> _lastInvokeId;
    std::atomic<std::size_t> _retries{0};
    std::atomic<bool> _running{true};
    std::vector<std::thread> _threads;
};

/// Runs `fault` on a thread of its own once a new temporary file appears in the SSH server's login
/// directory (an upload has begun), or after `delay` when one is given; counts it when it hit an upload.
class MidUploadFault
{
public:
    MidUploadFault(SshServer& server, std::function<void()> fault, std::optional<int> delayMs = std::nullopt)
        : _thread(
              [this, &server, fault, delayMs, known = server.files()]
              {
                  const auto uploading = [&]
                  {
                      for (const std::string& name : server.files())
                      {
                          if (isPartial(name) && std::find(known.begin(), known.end(), name) == known.end())
                              return true;
                      }
                      return false;
                  };
                  for (int waited = 0; !_stop && (delayMs ? waited < *delayMs : !uploading()); ++waited)
                      Poco::Thread::sleep(1);
                  if (_stop)
                      return;
                  _hit = uploading();
                  fault();
              })
    {
    }
    ~MidUploadFault() { end(); }
    MidUploadFault(const MidUploadFault&) = delete;
    MidUploadFault& operator=(const MidUploadFault&) = delete;

    /// Ends the wait for the fault (one that began runs to its end), then tells whether it hit an upload.
    bool end()
    {
        _stop = true;
        if (_thread.joinable())
            _thread.join();
        return _hit;
    }

private:
    std::atomic<bool> _stop{false};
    std::atomic<bool> _hit{false};
    std::thread _thread;
};

/// The live site, its FTP server and a gateway on a database file that a pusher process can share.
class TrendLogPusherNoRecordLost : public TrendLogPusherFixture
{
protected:
    void SetUp() override { serve(_siteText, 2); }

    /// `rounds` of every kind in `kinds` (from 0), shuffled.
    std::vector<int> shuffledKinds(int kinds, int rounds)
    {
        std::vector<int> sequence;
        for (int i = 0; i < kinds * rounds; ++i)
            sequence.push_back(i % kinds);
        std::shuffle(sequence.begin(), sequence.end(), _random);
        return sequence;
    }

    /// From now on the gateway uploads to the SSH server instead of the FTP server.
    void overSftp()
    {
        _pSsh = ssh();
        _pRig->database().configure(_pSsh->url(), SshServer::_USER, "secret", "", 2, 0);
    }

    /// Starts fault `kind` (1 to 4) of the server: over FTP a refused login, data dropped, a refused
    /// completion or rename; over SFTP the sessions killed once an upload has begun, the server killed
    /// then, the host key not trusted, or the sessions killed at a random point of the attempt.
    std::optional<MidUploadFault> serverFault(int kind)
    {
        if (!_pSsh)
        {
            const FtpFault ftpFaults[] = {FtpFault::NONE, FtpFault::REFUSE_LOGIN, FtpFault::DROP_DATA,
                                          FtpFault::REFUSE_COMPLETION, FtpFault::REFUSE_RENAME};
            ftp().setFault(ftpFaults[kind], std::uniform_int_distribution<std::size_t>(100, 40000)(_random));
            return std::nullopt;
        }
        setSftp(pinned(kind != 3 ? _pSsh->fingerprint() : "SHA256:" + std::string(43, 'A')));
        const auto dropSessions = [this] { _pSsh->signalSessions(SIGKILL); };
        if (kind == 1)
            return std::make_optional<MidUploadFault>(*_pSsh, dropSessions);
        if (kind == 2)
            return std::make_optional<MidUploadFault>(*_pSsh, [this] { _pSsh->restart(); });
        if (kind == 4)
            return std::make_optional<MidUploadFault>(*_pSsh, dropSessions,
                                                      std::uniform_int_distribution<int>(0, 30)(_random));
        return std::nullopt;
    }

    /// One upload attempt in this process under fault `kind`: none, one of the server's (1 to 4), a
    /// failing page of a trend log, the controller silent, or a restart.
    void attemptUnder(int kind)
    {
        std::optional<MidUploadFault> midUpload = serverFault(kind <= 4 ? kind : 0);
        const auto& tl = site().trendLogs()[std::uniform_int_distribution<std::size_t>(0, 2)(_random)];
        const Poco::UInt32 skip = std::uniform_int_distribution<Poco::UInt32>(0, 3)(_random);
        if (kind == 5)
            _pRig->site().addFault(tl.key.deviceInstance,
                                   {SimulatedFault::READ_RANGE,
                                    tl.key.objectIdentifier,
                                    {},
                                    {Orvik::BACnet::ERROR_CLASS_DEVICE, Orvik::BACnet::ERROR_CODE_OTHER},
                                    skip,
                                    1});
        _pRig->site().setSilent(CONTROLLER, kind == 6);
        if (kind == 7)
            start();  // the gateway restarts: a new pusher from the stored positions, with a fresh search
        _pPusher->createAndSendFiles();
        _hits += midUpload && midUpload->end() ? 1 : 0;
        _pRig->site().setSilent(CONTROLLER, false);
        _pRig->site().clearFaults(GATEWAY);
        _pRig->site().clearFaults(CONTROLLER);
    }

    /// Starts the pusher as a process of its own (through the emulator in a cross build) and kills it
    /// once an upload of it has begun (or after a while), under FTP fault `kind`. True when it was killed
    /// during an upload.
    bool killDuringUpload(int kind, const std::string& siteFile)
    {
        ftp().setFault(kind == 1   ? FtpFault::REFUSE_COMPLETION
                       : kind == 2 ? FtpFault::DROP_DATA
                                   : FtpFault::NONE,
                       20000);
        const std::vector<std::string> before = ftp().files();
        const std::set<std::string> known(before.begin(), before.end());
        const Poco::StringTokenizer words(ORVIK_PUSHER_DRIVER_COMMAND, "|",
                                          Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        std::vector<std::string> arguments(words.begin() + 1, words.end());
        arguments.insert(arguments.end(), {_databaseFile.path(), siteFile, std::to_string(GATEWAY)});
        Poco::ProcessHandle driver = Poco::Process::launch(words[0], arguments);
        bool uploading = false;
        for (int poll = 0; poll < 3000 && !uploading; ++poll)
        {
            Poco::Thread::sleep(1);
            for (const std::string& name : ftp().files())
                uploading = uploading || (known.count(name) == 0 && isPartial(name));
        }
        Poco::Thread::sleep(std::uniform_int_distribution<int>(0, 3)(_random));
        Poco::Process::kill(driver);
        driver.wait();
        return uploading;
    }

    /// The gateway runs once more without faults and catches up; then the documents are read.
    Uploads catchUp()
    {
        serverFault(0);
        EXPECT_TRUE(start().createAndSendFiles());
        return _pSsh ? Uploads(*_pSsh, site()) : Uploads(ftp(), site());
    }

    /// Attempts under every kind of fault, shuffled, then the catch-up: no record is lost or repeated.
    void randomFaultsLoseNoRecordAndRepeatNone()
    {
        SCOPED_TRACE("random seed " + std::to_string(_seed));
        ASSERT_EQ(3u, site().trendLogs().size());
        start();
        for (int kind : shuffledKinds(8, 3))
            attemptUnder(kind);
        const Uploads uploads = catchUp();
        EXPECT_EQ(0u, uploads.duplicates) << "a document repeated records without a killed gateway";
        expectNoGap(uploads, site(), _pRig->site());
    }

    const unsigned _seed = std::random_device()();
    SshServer* _pSsh = nullptr;  // set: uploads go to the SSH server
    int _hits = 0;               // faults of the SSH server that hit an upload
    std::mt19937 _random{_seed};
    const std::string _siteText = liveSite();
};

}  // namespace

TEST_F(TrendLogPusherNoRecordLost, RandomFaultsLoseNoRecordAndRepeatNone)
{
    randomFaultsLoseNoRecordAndRepeatNone();
}

TEST_F(TrendLogPusherNoRecordLost, RandomFaultsOverSftpLoseNoRecordAndRepeatNone)
{
    if (ssh() == nullptr)
        GTEST_SKIP() << SshServer::missing();
    overSftp();
    randomFaultsLoseNoRecordAndRepeatNone();
    EXPECT_GT(_hits, 0) << "no fault of the SSH server hit an upload";
}

TEST_F(TrendLogPusherNoRecordLost, GatewaysKilledDuringAnUploadLoseNoRecord)
{
    SCOPED_TRACE("random seed " + std::to_string(_seed));
    Poco::TemporaryFile siteFile;
    Poco::FileOutputStream(siteFile.path()) << _siteText;
    int killedDuringUpload = 0;
    for (int kind : shuffledKinds(3, 3))
        killedDuringUpload += killDuringUpload(kind, siteFile.path()) ? 1 : 0;
    const Uploads uploads = catchUp();
    EXPECT_GT(killedDuringUpload, 0) << "no kill hit an upload";
    expectNoGap(uploads, site(), _pRig->site());
}

TEST(TrendLogPusherNoRecordLostOverBACnetIP, DatagramsLostBehindARouterLoseNoRecord)
{
    using Orvik::BACnet::Device::IP::SiteServer;
    FtpServer ftp;
    Poco::TemporaryFile database;
    // The same live trend logs served twice, by a server whose router passes the devices only seven
    // tenths of its datagrams (the loss seeded per device) and by one that loses nothing; the gateway
    // reaches either through the link.
    // One start for all three: texts made on either side of a second's turn would log other records.
    const Poco::Timestamp now;
    const auto pLossy = Orvik::BACnet::Device::Site::parse(liveSite(false, 0.3, now), "lossy");
    const auto pLossless = Orvik::BACnet::Device::Site::parse(liveSite(false, 0.0, now), "lossless");
    SiteServer lossy(*pLossy, SiteServer::Settings());
    SiteServer lossless(*pLossless, SiteServer::Settings());
    lossy.start();
    lossless.start();
    RouterLink link(*lossless.routerAddress());
    const auto pReference = Orvik::BACnet::Client::Simulation::SimulatedSite::parse(
        liveSite(false, std::nullopt, now), "reference");
    Orvik::Test::TrendLogPusherRig rig(database.path(),
                                       std::make_unique<Orvik::BACnet::Client::IP::BACnetIPNetwork>(
                                           Orvik::Test::InteropNetwork::settings(link.address(), 100, 2)),
                                       GATEWAY);
    rig.database().configure(ftp.url(), "orvik", "secret", "", 2, 0);
    const TrendLogPusherSiteRecords site(*pReference);
    ASSERT_EQ(2u, site.trendLogs().size());
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    // Requests are retried, and an attempt whose request ran out of retries leaves no document. Which
    // request the seeded loss cuts short depends on how many each attempt makes, so the attempts go on
    // (within a bound) until one was cut short and one uploaded its document after a retry.
    link.switchTo(*lossy.routerAddress());
    std::size_t incomplete = 0;
    std::size_t retriedAndUploaded = 0;
    for (int attempt = 0; attempt < 6 || ((incomplete == 0 || retriedAndUploaded == 0) && attempt < 40);
         ++attempt)
    {
        const std::size_t before = ftp.files().size();
        const std::size_t retriesBefore = link.retries();
        pPusher->createAndSendFiles();
        const bool uploaded = ftp.files().size() > before;
        incomplete += uploaded ? 0 : 1;
        retriedAndUploaded += uploaded && link.retries() > retriesBefore ? 1 : 0;
    }
    link.switchTo(*lossless.routerAddress());
    const std::size_t before = ftp.files().size();
    pPusher->createAndSendFiles();
    ASSERT_EQ(before + 1, ftp.files().size()) << "no document without loss";
    EXPECT_GT(incomplete, 0u) << "the loss never ended an attempt";
    EXPECT_GT(retriedAndUploaded, 0u) << "no attempt uploaded its document after a retried request";
    const Uploads uploads(ftp, site);
    EXPECT_EQ(0u, uploads.partial);
    EXPECT_EQ(0u, uploads.duplicates);
    expectNoGap(uploads, site, *pReference);
}
