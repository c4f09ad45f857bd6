#pragma once

#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>

#include <string>

namespace Orvik::Test
{

/// The whole content of a file; throws Poco::FileNotFoundException when there is none.
inline std::string readFile(const std::string& path)
{
    Poco::FileInputStream in(path);
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    return text;
}

/// The content of a file, or "" when there is none (yet).
inline std::string readFileIfAny(const std::string& path)
{
    return Poco::File(path).exists() ? readFile(path) : "";
}

/// Replaces the file's content with `text`.
inline void writeFile(const std::string& path, const std::string& text)
{
    Poco::FileOutputStream out(path);
    out << text;
}

}  // namespace Orvik::Test
