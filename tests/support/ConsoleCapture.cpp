#include "ConsoleCapture.h"

#include <iostream>

namespace Orvik::Test
{

ConsoleCapture::ConsoleCapture()
    : _pPreviousOut(std::cout.rdbuf(&_out)), _pPreviousErr(std::cerr.rdbuf(&_err))
{
}

ConsoleCapture::~ConsoleCapture()
{
    std::cout.rdbuf(_pPreviousOut);
    std::cerr.rdbuf(_pPreviousErr);
}

std::string ConsoleCapture::LockedBuffer::text() const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return _text;
}

ConsoleCapture::LockedBuffer::int_type ConsoleCapture::LockedBuffer::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
    {
        return traits_type::not_eof(c);
    }
    const std::lock_guard<std::mutex> lock(_mutex);
    _text.push_back(traits_type::to_char_type(c));
    return c;
}

std::streamsize ConsoleCapture::LockedBuffer::xsputn(const char* s, std::streamsize n)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    _text.append(s, static_cast<std::size_t>(n));
    return n;
}

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    {
        ++count;
    }
    return count;
}

}  // namespace Orvik::Test
