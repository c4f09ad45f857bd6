#include "Orvik_BACnet/PropertyDatatypeTable.h"

#include <set>
#include <string_view>
#include <unordered_map>

#include <Poco/NumberParser.h>

#include "CsvText.h"
#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::BACnet
{

namespace
{
#include "BACnetTablesText.inc"

constexpr std::string_view _SIZE_PREFIX = "size ";

std::uint64_t keyOf(std::uint32_t objectType, std::uint32_t propertyId)
{
    return (static_cast<std::uint64_t>(objectType) << 32) | propertyId;
}

/// "BACnetEngineeringUnits" -> enumeration; "size 16" or "BACnetPriorityArray size 16" -> array size.
void readDetail(std::string_view detail, PropertyDatatype& row)
{
    const std::size_t size = detail.find(_SIZE_PREFIX);
    if (size != std::string_view::npos)
    {
        row.arraySize =
            Poco::NumberParser::parseUnsigned(std::string(detail.substr(size + _SIZE_PREFIX.size())));
        return;
    }
    if (detail.substr(0, 6) == "BACnet")
    {
        row.enumeration = std::string(detail);
    }
}

/// The parsed table: rows by (object type, property), and per property the row all covered object types
/// agree on (null where they disagree).
class Table
{
public:
    static const Table& instance()
    {
        static const Table table;  // built once, thread-safe
        return table;
    }

    const PropertyDatatype* find(std::uint32_t objectType, std::uint32_t propertyId) const
    {
        const auto row = _rows.find(keyOf(objectType, propertyId));
        if (row != _rows.end())
        {
            return &row->second;
        }
        if (_objectTypes.count(objectType) != 0)
        {
            return nullptr;
        }
        const auto shared = _shared.find(propertyId);
        return shared == _shared.end() ? nullptr : shared->second;
    }
    bool covers(std::uint32_t objectType) const { return _objectTypes.count(objectType) != 0; }

private:
    Table()
    {
        const std::vector<CsvText::Row> csv = CsvText::rows(_CSV_property_datatypes);
        std::unordered_map<std::uint32_t, BACnetDataType> presentValueTypes;
        readRows(csv, presentValueTypes);  // first pass: present-value datatypes
        readRows(csv, presentValueTypes);  // second: priority values carry them
        shareAgreeingRows();
    }

    void readRows(const std::vector<CsvText::Row>& csv,
                  std::unordered_map<std::uint32_t, BACnetDataType>& presentValueTypes)
    {
        for (const CsvText::Row& fields : csv)
        {
            std::uint32_t objectType = 0;
            std::uint32_t propertyId = 0;
            if (fields.size() < 6 || !ProtocolText::objectTypeIndex(std::string(fields[0]), objectType) ||
                !ProtocolText::propertyIndex(std::string(fields[1]), propertyId))
            {
                continue;
            }
            const auto carried = presentValueTypes.find(objectType);
            PropertyDatatype row;
            const std::string name(fields[2]);
            if (!BACnetDataTypeInfo::fromName(
                    name, carried == presentValueTypes.end() ? BACNET_DT_ANY : carried->second, row.dataType))
            {
                continue;
            }
            row.appTag = BACnetDataTypeInfo::applicationTag(row.dataType, MAX_BACNET_APPLICATION_TAG);
            row.structure = fields[3] == "array"  ? BACNET_DTS_ARRAY
                            : fields[3] == "list" ? BACNET_DTS_LIST
                                                  : BACNET_DTS_SINGLE_VALUE;
            readDetail(fields[4], row);
            if (name == "BACnetOptionalBinaryPV")
            {
                row.enumeration = "BACnetBinaryPV";
            }
            row.required = fields[5] == "R";
            row.nullable = name == "BACnetPriorityValue" || name.rfind("BACnetOptional", 0) == 0;
            if (propertyId == PROP_PRESENT_VALUE)
            {
                presentValueTypes[objectType] = row.dataType;
            }
            _rows[keyOf(objectType, propertyId)] = row;
            _objectTypes.insert(objectType);
        }
    }

    void shareAgreeingRows()
    {
        for (const auto& entry : _rows)
        {
            const std::uint32_t propertyId = static_cast<std::uint32_t>(entry.first & 0xFFFFFFFFu);
            const auto shared = _shared.find(propertyId);
            if (shared == _shared.end())
            {
                _shared.emplace(propertyId, &entry.second);
            }
            else if (shared->second != nullptr && (shared->second->dataType != entry.second.dataType ||
                                                   shared->second->structure != entry.second.structure ||
                                                   shared->second->enumeration != entry.second.enumeration))
            {
                shared->second = nullptr;
            }
        }
        for (auto it = _shared.begin(); it != _shared.end();)
        {
            it = it->second == nullptr ? _shared.erase(it) : std::next(it);
        }
    }

    std::unordered_map<std::uint64_t, PropertyDatatype> _rows;
    std::unordered_map<std::uint32_t, const PropertyDatatype*> _shared;
    std::set<std::uint32_t> _objectTypes;
};

}  // namespace

const PropertyDatatype* PropertyDatatypeTable::find(std::uint32_t objectType, std::uint32_t propertyId)
{
    return Table::instance().find(objectType, propertyId);
}

bool PropertyDatatypeTable::coversObjectType(std::uint32_t objectType)
{
    return Table::instance().covers(objectType);
}

}  // namespace Orvik::BACnet
