#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PageSpool.h"

#include <Poco/Exception.h>
#include <Poco/Path.h>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "Orvik_BACnet/Codec/ValueCodec.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

/// Trend log and trend log multiple pages are lists of BACnetLogRecord alike.
void encodeRecords(Codec::Encoder& out, const ValueContainer& records)
{
    Codec::ValueCodec::encode(out, records, OBJECT_TRENDLOG, PROP_LOG_BUFFER);
}

ValueContainer decodeRecords(Codec::Decoder& in)
{
    return Codec::ValueCodec::decode(in, OBJECT_TRENDLOG, PROP_LOG_BUFFER, BACNET_ARRAY_ALL);
}

/// Encodes `records` into `out`; false when they have no encoding, or one that does not read back as
/// the same records (a value the wire cannot carry as it is held): such records stay in memory.
bool encodesFaithfully(const ValueContainer& records, Codec::Encoder& out)
{
    try
    {
        encodeRecords(out, records);
        Codec::Decoder check{Codec::OctetView(out.octets())};
        return decodeRecords(check) == records;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

}  // namespace

PageSpool::PageSpool(std::string folder, std::size_t capBytes, Poco::UInt64 reserveBytes)
    : _folder(std::move(folder)), _capBytes(capBytes), _reserveBytes(reserveBytes)
{
}

PageSpool::~PageSpool()
{
    close();
}

bool PageSpool::hasRoom() const
{
    return !_failed && _bytes < _capBytes;
}

std::optional<PageSpool::Entry> PageSpool::put(const ValueContainer& records)
{
    if (!hasRoom())
    {
        return std::nullopt;
    }
    Codec::Encoder encoder;
    if (!encodesFaithfully(records, encoder))
    {
        return std::nullopt;
    }
    const Codec::Octets& octets = encoder.octets();
    if (_bytes + octets.size() > _capBytes || !leavesReserve(octets.size()) || !open())
    {
        return std::nullopt;
    }
    const Entry entry{_bytes, static_cast<Poco::UInt32>(octets.size())};
    if (::pwrite(_descriptor, octets.data(), octets.size(), static_cast<off_t>(entry.offset)) !=
        static_cast<ssize_t>(octets.size()))
    {
        // A full or failing disk: the spool takes nothing more; what it holds stays readable.
        _failed = true;
        return std::nullopt;
    }
    _bytes += octets.size();
    return entry;
}

ValueContainer PageSpool::take(const Entry& entry) const
{
    std::vector<std::uint8_t> octets(entry.length);
    if (_descriptor < 0 || ::pread(_descriptor, octets.data(), octets.size(),
                                   static_cast<off_t>(entry.offset)) != static_cast<ssize_t>(octets.size()))
    {
        throw Poco::IOException("Cannot read records back from " + _path, std::strerror(errno));
    }
    try
    {
        Codec::Decoder decoder{Codec::OctetView(octets)};
        return decodeRecords(decoder);
    }
    catch (const std::exception& e)
    {
        throw Poco::IOException("Records read back from " + _path + " are damaged", e.what());
    }
}

bool PageSpool::open()
{
    if (_descriptor >= 0)
    {
        return true;
    }
    std::string path = Poco::Path(Poco::Path::forDirectory(_folder), ".trend-log-pages-XXXXXX").toString();
    // mkstemp: a name of its own, mode 0600, never a file or link that was there.
    _descriptor = ::mkostemp(path.data(), O_CLOEXEC);
    if (_descriptor < 0)
    {
        _failed = true;
        return false;
    }
    _path = path;
    return true;
}

bool PageSpool::leavesReserve(std::size_t length) const
{
    struct statvfs status
    {
    };
    if (::statvfs(_folder.c_str(), &status) != 0)
    {
        return false;
    }
    const Poco::UInt64 available = static_cast<Poco::UInt64>(status.f_bavail) * status.f_frsize;
    return available >= static_cast<Poco::UInt64>(length) + _reserveBytes;
}

void PageSpool::close()
{
    if (_descriptor < 0)
    {
        return;
    }
    ::close(_descriptor);
    ::unlink(_path.c_str());
    _descriptor = -1;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
