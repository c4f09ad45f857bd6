#include "Orvik_BACnet/ProtocolText.h"

#include <string_view>
#include <unordered_map>

#include <Poco/NumberParser.h>

#include "CsvText.h"

namespace Orvik::BACnet
{

namespace
{
#include "BACnetTablesText.inc"

/// One enumeration: numbers to names and back.
struct NameTable
{
    std::unordered_map<std::uint32_t, std::string> byNumber;
    std::unordered_map<std::string, std::uint32_t> byName;

    void add(std::string_view number, std::string_view name)
    {
        const std::uint32_t value = Poco::NumberParser::parseUnsigned(std::string(number));
        byNumber.emplace(value, std::string(name));
        byName.emplace(std::string(name), value);
    }
    const std::string* name(std::uint32_t value) const
    {
        const auto it = byNumber.find(value);
        return it == byNumber.end() ? nullptr : &it->second;
    }
    bool index(const std::string& name, std::uint32_t& value) const
    {
        const auto it = byName.find(name);
        if (it == byName.end())
        {
            return false;
        }
        value = it->second;
        return true;
    }
};

/// All name tables, keyed by the standard's enumeration name.
class NameTables
{
public:
    static const NameTables& instance()
    {
        static const NameTables tables;  // built once, thread-safe
        return tables;
    }

    const NameTable* find(const std::string& enumeration) const
    {
        const auto it = _tables.find(enumeration);
        return it == _tables.end() ? nullptr : &it->second;
    }
    const NameTable& objectTypes() const { return _tables.at("BACnetObjectType"); }
    const NameTable& properties() const { return _tables.at("BACnetPropertyIdentifier"); }
    const NameTable& units() const { return _tables.at("BACnetEngineeringUnits"); }
    const NameTable& errorClasses() const { return _tables.at("BACnetErrorClass"); }
    const NameTable& errorCodes() const { return _tables.at("BACnetErrorCode"); }

private:
    NameTables()
    {
        addSimple("BACnetObjectType", _CSV_object_types);
        addSimple("BACnetPropertyIdentifier", _CSV_property_ids);
        addSimple("BACnetEngineeringUnits", _CSV_engineering_units);
        addSimple("BACnetErrorClass", _CSV_error_classes);
        addSimple("BACnetErrorCode", _CSV_error_codes);
        for (const CsvText::Row& row : CsvText::rows(_CSV_enums_misc))
        {
            if (row.size() >= 3)
            {
                _tables[std::string(row[0])].add(row[1], row[2]);
            }
        }
    }
    void addSimple(const std::string& enumeration, std::string_view csv)
    {
        NameTable& table = _tables[enumeration];
        for (const CsvText::Row& row : CsvText::rows(csv))
        {
            if (row.size() >= 2)
            {
                table.add(row[0], row[1]);
            }
        }
    }

    std::unordered_map<std::string, NameTable> _tables;
};

std::string nameOrNumber(const NameTable& table, std::uint32_t value)
{
    const std::string* name = table.name(value);
    return name != nullptr ? *name : std::to_string(value);
}

}  // namespace

std::string ProtocolText::objectTypeName(std::uint32_t objectType)
{
    return nameOrNumber(NameTables::instance().objectTypes(), objectType);
}

std::string ProtocolText::propertyName(std::uint32_t propertyId)
{
    return nameOrNumber(NameTables::instance().properties(), propertyId);
}

std::string ProtocolText::engineeringUnitName(std::uint32_t unit)
{
    return nameOrNumber(NameTables::instance().units(), unit);
}

std::string ProtocolText::errorClassName(std::uint32_t errorClass)
{
    return nameOrNumber(NameTables::instance().errorClasses(), errorClass);
}

std::string ProtocolText::errorCodeName(std::uint32_t errorCode)
{
    return nameOrNumber(NameTables::instance().errorCodes(), errorCode);
}

std::string ProtocolText::enumerationName(const std::string& enumeration, std::uint32_t value)
{
    const NameTable* table = NameTables::instance().find(enumeration);
    const std::string* name = table != nullptr ? table->name(value) : nullptr;
    return name != nullptr ? *name : std::string();
}

const char* ProtocolText::findObjectTypeName(std::uint32_t objectType)
{
    const std::string* name = NameTables::instance().objectTypes().name(objectType);
    return name != nullptr ? name->c_str() : nullptr;
}

const char* ProtocolText::findPropertyName(std::uint32_t propertyId)
{
    const std::string* name = NameTables::instance().properties().name(propertyId);
    return name != nullptr ? name->c_str() : nullptr;
}

bool ProtocolText::objectTypeIndex(const std::string& name, std::uint32_t& index)
{
    return NameTables::instance().objectTypes().index(name, index);
}

bool ProtocolText::propertyIndex(const std::string& name, std::uint32_t& index)
{
    return NameTables::instance().properties().index(name, index);
}

bool ProtocolText::engineeringUnitIndex(const std::string& name, std::uint32_t& index)
{
    return NameTables::instance().units().index(name, index);
}

bool ProtocolText::errorClassIndex(const std::string& name, std::uint32_t& index)
{
    return NameTables::instance().errorClasses().index(name, index);
}

bool ProtocolText::errorCodeIndex(const std::string& name, std::uint32_t& index)
{
    return NameTables::instance().errorCodes().index(name, index);
}

bool ProtocolText::enumerationIndex(const std::string& enumeration, const std::string& name,
                                    std::uint32_t& index)
{
    const NameTable* table = NameTables::instance().find(enumeration);
    return table != nullptr && table->index(name, index);
}

}  // namespace Orvik::BACnet
