#include "DemoConsoleCapture.h"

DemoConsoleCapture::DemoConsoleCapture()
    : _pPreviousOut(std::cout.rdbuf(&_out)), _pPreviousErr(std::cerr.rdbuf(&_err))
{
}

DemoConsoleCapture::~DemoConsoleCapture()
{
    std::cout.rdbuf(_pPreviousOut);
    std::cerr.rdbuf(_pPreviousErr);
}

std::string DemoConsoleCapture::LockedBuffer::text() const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return _text;
}

DemoConsoleCapture::LockedBuffer::int_type DemoConsoleCapture::LockedBuffer::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
    {
        return traits_type::not_eof(c);
    }
    const std::lock_guard<std::mutex> lock(_mutex);
    _text.push_back(traits_type::to_char_type(c));
    return c;
}

std::streamsize DemoConsoleCapture::LockedBuffer::xsputn(const char* s, std::streamsize n)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    _text.append(s, static_cast<std::size_t>(n));
    return n;
}
