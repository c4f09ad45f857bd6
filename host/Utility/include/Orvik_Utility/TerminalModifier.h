#pragma once

#include <ostream>

namespace Orvik::Utility::Terminal
{

/// An ANSI select-graphic-rendition code for coloured console output. Writing a
/// modifier to a stream writes ESC, "[", the code in decimal and "m", for example
/// `std::cout << Modifier(Modifier::FG_GREEN) << value << Modifier(Modifier::FG_DEFAULT)`.
class Modifier
{
public:
    enum Code
    {
        FG_BLACK = 30,
        FG_RED = 31,
        FG_GREEN = 32,
        FG_YELLOW = 33,
        FG_BLUE = 34,
        FG_MAGENTA = 35,
        FG_CYAN = 36,
        FG_LIGHT_GRAY = 37,
        FG_DEFAULT = 39,
        BG_RED = 41,
        BG_GREEN = 42,
        BG_BLUE = 44,
        BG_DEFAULT = 49,
        FG_DARK_GRAY = 90,
        FG_LIGHT_RED = 91,
        FG_LIGHT_GREEN = 92,
        FG_LIGHT_YELLOW = 93,
        FG_LIGHT_BLUE = 94,
        FG_LIGHT_MAGENTA = 95,
        FG_LIGHT_CYAN = 96,
        FG_WHITE = 97
    };

    explicit Modifier(Code aCode) : code(aCode) {}

    Code code;
};

std::ostream& operator<<(std::ostream& stream, const Modifier& modifier);

}  // namespace Orvik::Utility::Terminal
