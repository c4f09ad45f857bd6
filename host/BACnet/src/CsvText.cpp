#include "CsvText.h"

namespace Orvik::BACnet
{

namespace
{

CsvText::Row splitLine(std::string_view line)
{
    CsvText::Row fields;
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos)
        {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

}  // namespace

std::vector<CsvText::Row> CsvText::rows(std::string_view text)
{
    std::vector<Row> result;
    bool header = true;
    std::size_t start = 0;
    while (start < text.size())
    {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
        {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
        {
            line.remove_suffix(1);
        }
        if (line.empty())
        {
            continue;
        }
        if (header)
        {
            header = false;
            continue;
        }
        result.push_back(splitLine(line));
    }
    return result;
}

}  // namespace Orvik::BACnet
