#pragma once

#include <Poco/Types.h>

#include <cstddef>
#include <optional>
#include <string>

#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// Pages of trend log records read ahead of an export document kept on disk instead of in memory, so
/// that a backlog of every device is read at once while the document is written one trend log after
/// the other.
///
/// The records are kept in their BACnet encoding in one file in `folder` (mode 0600), made on the
/// first put() and removed when the spool is destroyed (after the upload or its failure). It holds at
/// most `capBytes`, and a put() that would leave less than `reserveBytes` free in the file system
/// is refused, as is one that cannot be written, or whose encoding does not read back as the same records
/// (checked on each put()): the caller then keeps the page in memory
/// or does not read ahead. A page that cannot be read back makes take() throw Poco::IOException, which
/// ends the document as a failed read would: nothing is stored as uploaded, and nothing is lost.
class PageSpool
{
public:
    /// Where a page lies in the file.
    struct Entry
    {
        Poco::UInt64 offset = 0;
        Poco::UInt32 length = 0;
    };

    PageSpool(std::string folder, std::size_t capBytes, Poco::UInt64 reserveBytes);
    ~PageSpool();
    PageSpool(const PageSpool&) = delete;
    PageSpool& operator=(const PageSpool&) = delete;

    /// True while the spool takes pages (room left, no write failed).
    bool hasRoom() const;
    /// Writes the records of a page; empty when it was refused (see the class comment).
    std::optional<Entry> put(const ValueContainer& records);
    /// Reads the records of a page back.
    ValueContainer take(const Entry& entry) const;
    /// Bytes written so far.
    std::size_t bytes() const { return _bytes; }

private:
    bool open();
    bool leavesReserve(std::size_t length) const;
    void close();

    const std::string _folder;
    const std::size_t _capBytes;
    const Poco::UInt64 _reserveBytes;  ///< 64 bits: file systems hold more than 4 GB on 32-bit boards too
    std::string _path;
    int _descriptor = -1;
    std::size_t _bytes = 0;
    bool _failed = false;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
