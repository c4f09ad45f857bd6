#pragma once

#include <ostream>
#include <string>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// What DocumentUpload's one upload sequence (temporary name, rename, clean-up) needs of a file server,
/// whatever its protocol: a logged-in session in the upload directory that stores one file at a time.
/// Every call but discard() throws a Poco exception when the server refuses it or the connection fails;
/// messages never carry the password.
class UploadSession
{
public:
    virtual ~UploadSession() = default;

    /// Creates (or truncates) the file `name` and returns the stream that writes it, valid until
    /// endUpload() or discard(). Writes time out like every other wait of the session.
    virtual std::ostream& beginUpload(const std::string& name) = 0;
    /// Completes the file begun last; returns once the server has confirmed every octet written.
    virtual void endUpload() = 0;
    /// After a document that ended early: throws the reason when the transfer itself broke (its stream
    /// failed), so that the attempt is reported and retried; else does nothing.
    virtual void throwIfTransferBroke() = 0;
    /// Renames `from` to `to` (a name that does not exist yet).
    virtual void rename(const std::string& from, const std::string& to) = 0;
    /// Breaks off the file begun last, if still open, and removes `name`, as far as the session still
    /// allows; never throws.
    virtual void discard(const std::string& name) noexcept = 0;
    /// Ends the session.
    virtual void close() = 0;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
