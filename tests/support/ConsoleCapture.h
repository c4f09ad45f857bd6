#pragma once

#include <mutex>
#include <streambuf>
#include <string>

namespace Orvik::Test
{

/// Takes what std::cout and std::cerr receive, from any thread, for the lifetime of the object, and gives
/// the streams back to their previous buffers at its end. The text may be read while other threads write.
class ConsoleCapture
{
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    std::string out() const { return _out.text(); }
    std::string err() const { return _err.text(); }

private:
    /// A buffer without put area, so that every write goes through the locked calls below.
    class LockedBuffer : public std::streambuf
    {
    public:
        std::string text() const;

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;

    private:
        mutable std::mutex _mutex;
        std::string _text;
    };

    LockedBuffer _out;
    LockedBuffer _err;
    std::streambuf* _pPreviousOut;
    std::streambuf* _pPreviousErr;
};

/// How often `part` occurs in `text`, without overlaps.
std::size_t countOf(const std::string& text, const std::string& part);

}  // namespace Orvik::Test
