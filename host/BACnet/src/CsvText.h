#pragma once

#include <string_view>
#include <vector>

namespace Orvik::BACnet
{

/// Rows of a compiled-in CSV text (no quoting, comma separated, first line is the header). The
/// fields view into the text, which must outlive the rows.
class CsvText
{
public:
    using Row = std::vector<std::string_view>;

    /// Data rows of `text`; blank lines are skipped, a trailing '\r' is dropped.
    static std::vector<Row> rows(std::string_view text);
};

}  // namespace Orvik::BACnet
