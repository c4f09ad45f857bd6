#include "Orvik_Utility/TerminalModifier.h"

namespace Orvik::Utility::Terminal
{

std::ostream& operator<<(std::ostream& stream, const Modifier& modifier)
{
    return stream << "\x1b[" << static_cast<int>(modifier.code) << 'm';
}

}  // namespace Orvik::Utility::Terminal
