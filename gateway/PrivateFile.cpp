#include "PrivateFile.h"

#include <Poco/Exception.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Orvik::Gateway
{

void PrivateFile::create(const std::string& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw Poco::CreateFileException("Cannot replace " + path + ": " + std::strerror(errno));
    // O_EXCL: the file is this call's own, with this mode, even if another process raced for the name.
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, _MODE);
    if (descriptor < 0)
        throw Poco::CreateFileException("Cannot create " + path + ": " + std::strerror(errno));
    // A umask narrower than _MODE would leave a file its owner cannot write.
    const bool exact = ::fchmod(descriptor, _MODE) == 0;
    const int error = errno;
    ::close(descriptor);
    if (!exact)
        throw Poco::CreateFileException("Cannot set the mode of " + path + ": " + std::strerror(error));
}

}  // namespace Orvik::Gateway
