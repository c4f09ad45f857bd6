#pragma once

#include <Poco/Clock.h>
#include <Poco/Timestamp.h>
#include <Poco/Types.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// The messages a bridge could not send while its broker was out of reach, kept in order in one file
/// (mode 0600, the bridge's own: `path`) so that they survive a restart and a killed process, until
/// the bridge replays them after it is connected again.
///
/// Each message is its time and a few texts (what the bridge needs to send it again). The file holds
/// the messages of at most `capBytes`; a push beyond drops the oldest (takeDroppedReport()). Data
/// reaches the disk at most a second after its push (one write per push, a sync at most once a second),
/// so a power cut loses at most that second. A file whose end was cut off by a crash loses only the
/// message being written then; a file that is not a queue is started anew.
///
/// Failures: the constructor throws Poco::FileException when the file cannot be opened or made;
/// push() and replay() throw it when the file cannot be written. Used by the bridge's thread only.
class OutageQueue
{
public:
    class Message
    {
    public:
        Poco::Timestamp time;
        std::vector<std::string> texts;
    };

    static constexpr Poco::UInt32 _DEFAULT_CAP_MEGABYTES = 10;

    OutageQueue(const std::string& path, std::size_t capBytes);
    /// The queue next to the configuration database, in "<database's base name>.<suffix>" (so
    /// "config.cloud-bridge-1.queue" beside "config.db"); null when `capMegabytes` is 0 (messages then
    /// wait in memory only) or no database is open.
    static std::unique_ptr<OutageQueue> besideDatabase(const std::string& suffix, Poco::UInt32 capMegabytes);
    ~OutageQueue();
    OutageQueue(const OutageQueue&) = delete;
    OutageQueue& operator=(const OutageQueue&) = delete;

    void push(const Message& message);
    bool empty() const { return _entries.empty(); }
    std::size_t size() const { return _entries.size(); }
    /// Hands every message to `send`, oldest first, and forgets each once sent; when `send` returns
    /// false (not sent) or throws, the message and those after it stay.
    void replay(const std::function<bool(const Message&)>& send);
    /// "<n> <what> queued during the outage were dropped at the cap of <cap> MB" for the messages
    /// dropped since the last call; "" when none was.
    std::string takeDroppedReport(const std::string& what);

private:
    struct Entry
    {
        Poco::UInt64 offset;
        Poco::UInt32 length;  ///< of the whole record, its frame included
    };

    void load();
    std::string read(const Entry& entry) const;
    void writeAt(Poco::UInt64 offset, const std::string& bytes);
    void writeHead();
    void dropOldest();
    void compact();
    void syncAtMostOncePerSecond();
    static std::string encode(const Message& message);
    static bool decode(const std::string& record, Message& message);

    const std::string _path;
    const std::size_t _capBytes;
    int _descriptor = -1;
    std::deque<Entry> _entries;
    Poco::UInt64 _end = 0;
    std::size_t _liveBytes = 0;
    std::size_t _dropped = 0;
    Poco::Clock _lastSync;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
