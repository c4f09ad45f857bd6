#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"

#include "Orvik_Utility/Data/TeskDbSession.h"

#include <Poco/Checksum.h>
#include <Poco/Exception.h>
#include <Poco/Path.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

namespace
{

const std::string MAGIC = "ORVQ";
/// Magic, version (4 bytes) and the offset of the oldest message (8 bytes).
const Poco::UInt64 HEADER_BYTES = 16;
const Poco::UInt64 HEAD_OFFSET = 8;
/// Length and CRC-32 of each record's body.
const std::size_t FRAME_BYTES = 8;
const Poco::Clock::ClockDiff SYNC_INTERVAL_US = 1000000;

void putNumber(std::string& out, Poco::UInt64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
    {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

Poco::UInt64 numberAt(const std::string& in, std::size_t at, int bytes)
{
    Poco::UInt64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
    {
        value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

Poco::UInt32 crcOf(const std::string& bytes)
{
    Poco::Checksum crc(Poco::Checksum::TYPE_CRC32);
    crc.update(bytes.data(), static_cast<unsigned>(bytes.size()));
    return crc.checksum();
}

[[noreturn]] void fail(const std::string& what, const std::string& path)
{
    throw Poco::FileException("Outage queue: " + what + " failed: " + std::strerror(errno), path);
}

int openPrivate(const std::string& path)
{
    // Never through a link; the messages are the site's data: the owner's only.
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0 || ::fchmod(descriptor, 0600) != 0)
    {
        fail("open", path);
    }
    return descriptor;
}

}  // namespace

OutageQueue::OutageQueue(const std::string& path, std::size_t capBytes)
    : _path(path), _capBytes(capBytes), _descriptor(openPrivate(path))
{
    load();
}

std::unique_ptr<OutageQueue> OutageQueue::besideDatabase(const std::string& suffix, Poco::UInt32 capMegabytes)
{
    if (capMegabytes == 0 || Orvik::Utility::Data::pDB == nullptr)
    {
        return nullptr;
    }
    Poco::Path path = Poco::Path(Orvik::Utility::Data::pDB->getFileName()).absolute();
    path.setFileName(path.getBaseName() + "." + suffix);
    return std::make_unique<OutageQueue>(path.toString(),
                                         static_cast<std::size_t>(capMegabytes) * 1024 * 1024);
}

OutageQueue::~OutageQueue()
{
    ::fdatasync(_descriptor);
    ::close(_descriptor);
}

void OutageQueue::push(const Message& message)
{
    const std::string body = encode(message);
    std::string record;
    putNumber(record, body.size(), 4);
    putNumber(record, crcOf(body), 4);
    record += body;
    while (!_entries.empty() && _liveBytes + record.size() > _capBytes)
    {
        dropOldest();
    }
    if (_end - HEADER_BYTES > 2 * _capBytes)
    {
        compact();
    }
    writeAt(_end, record);
    _entries.push_back({_end, static_cast<Poco::UInt32>(record.size())});
    _end += record.size();
    _liveBytes += record.size();
    syncAtMostOncePerSecond();
}

void OutageQueue::replay(const std::function<bool(const Message&)>& send)
{
    try
    {
        while (!_entries.empty())
        {
            // A record the disk spoilt since it was written is skipped.
            Message message;
            if (decode(read(_entries.front()), message) && !send(message))
            {
                break;
            }
            _liveBytes -= _entries.front().length;
            _entries.pop_front();
        }
    }
    catch (...)
    {
        writeHead();
        throw;
    }
    if (!_entries.empty())
    {
        writeHead();
        return;
    }
    // All sent: the file starts over.
    if (::ftruncate(_descriptor, static_cast<off_t>(HEADER_BYTES)) != 0)
    {
        fail("truncate", _path);
    }
    _end = HEADER_BYTES;
    writeHead();
    ::fdatasync(_descriptor);
}

std::string OutageQueue::takeDroppedReport(const std::string& what)
{
    if (_dropped == 0)
    {
        return "";
    }
    const std::string report = std::to_string(_dropped) + " " + what +
                               " queued during the outage were dropped at the cap of " +
                               std::to_string(_capBytes / (1024 * 1024)) + " MB";
    _dropped = 0;
    return report;
}

void OutageQueue::load()
{
    struct stat status = {};
    if (::fstat(_descriptor, &status) != 0)
    {
        fail("stat", _path);
    }
    const auto size = static_cast<Poco::UInt64>(status.st_size);
    std::string header(HEADER_BYTES, '\0');
    const bool isQueue =
        size >= HEADER_BYTES &&
        ::pread(_descriptor, header.data(), HEADER_BYTES, 0) == static_cast<ssize_t>(HEADER_BYTES) &&
        header.compare(0, MAGIC.size(), MAGIC) == 0;
    Poco::UInt64 at = isQueue ? numberAt(header, HEAD_OFFSET, 8) : HEADER_BYTES;
    if (at < HEADER_BYTES || at > size)
    {
        at = HEADER_BYTES;
    }
    while (isQueue && at + FRAME_BYTES <= size)
    {
        const std::string frame = read({at, static_cast<Poco::UInt32>(FRAME_BYTES)});
        const Poco::UInt64 length = FRAME_BYTES + numberAt(frame, 0, 4);
        Message message;
        if (at + length > size || !decode(read({at, static_cast<Poco::UInt32>(length)}), message))
        {
            break;  // cut off by a crash while it was written
        }
        _entries.push_back({at, static_cast<Poco::UInt32>(length)});
        _liveBytes += length;
        at += length;
    }
    _end = at;
    if (::ftruncate(_descriptor, static_cast<off_t>(_end)) != 0)
    {
        fail("truncate", _path);
    }
    writeAt(0, MAGIC + std::string(4, '\0'));
    writeHead();
}

std::string OutageQueue::read(const Entry& entry) const
{
    std::string bytes(entry.length, '\0');
    if (::pread(_descriptor, bytes.data(), bytes.size(), static_cast<off_t>(entry.offset)) !=
        static_cast<ssize_t>(bytes.size()))
    {
        fail("read", _path);
    }
    return bytes;
}

void OutageQueue::writeAt(Poco::UInt64 offset, const std::string& bytes)
{
    if (::pwrite(_descriptor, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
        static_cast<ssize_t>(bytes.size()))
    {
        fail("write", _path);
    }
}

void OutageQueue::writeHead()
{
    std::string head;
    putNumber(head, _entries.empty() ? _end : _entries.front().offset, 8);
    writeAt(HEAD_OFFSET, head);
}

void OutageQueue::dropOldest()
{
    _liveBytes -= _entries.front().length;
    _entries.pop_front();
    ++_dropped;
    writeHead();
}

void OutageQueue::compact()
{
    // The live messages into a new file that replaces the old one whole: a crash leaves either.
    const std::string newPath = _path + ".new";
    ::unlink(newPath.c_str());
    const int descriptor = openPrivate(newPath);
    std::string head = MAGIC + std::string(4, '\0');
    putNumber(head, HEADER_BYTES, 8);
    std::string bytes = head;
    std::deque<Entry> entries;
    for (const Entry& entry : _entries)
    {
        entries.push_back({bytes.size(), entry.length});
        bytes += read(entry);
    }
    const bool written =
        ::pwrite(descriptor, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
        ::fdatasync(descriptor) == 0 && ::rename(newPath.c_str(), _path.c_str()) == 0;
    if (!written)
    {
        ::close(descriptor);
        fail("compaction", _path);
    }
    ::close(_descriptor);
    _descriptor = descriptor;
    _entries = std::move(entries);
    _end = bytes.size();
}

void OutageQueue::syncAtMostOncePerSecond()
{
    if (_lastSync.isElapsed(SYNC_INTERVAL_US))
    {
        ::fdatasync(_descriptor);
        _lastSync.update();
    }
}

std::string OutageQueue::encode(const Message& message)
{
    std::string body;
    putNumber(body, static_cast<Poco::UInt64>(message.time.epochMicroseconds()), 8);
    putNumber(body, message.texts.size(), 4);
    for (const std::string& text : message.texts)
    {
        putNumber(body, text.size(), 4);
        body += text;
    }
    return body;
}

bool OutageQueue::decode(const std::string& record, Message& message)
{
    if (record.size() < FRAME_BYTES + 12 || numberAt(record, 0, 4) != record.size() - FRAME_BYTES ||
        numberAt(record, 4, 4) != crcOf(record.substr(FRAME_BYTES)))
    {
        return false;
    }
    std::size_t at = FRAME_BYTES;
    message.time = Poco::Timestamp(static_cast<Poco::Timestamp::TimeVal>(numberAt(record, at, 8)));
    const Poco::UInt64 count = numberAt(record, at + 8, 4);
    at += 12;
    message.texts.clear();
    for (Poco::UInt64 i = 0; i < count; ++i)
    {
        const std::size_t length = at + 4 <= record.size() ? numberAt(record, at, 4) : record.size();
        if (at + 4 + length > record.size())
        {
            return false;
        }
        message.texts.push_back(record.substr(at + 4, length));
        at += 4 + length;
    }
    return at == record.size();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
