#pragma once

#include <Poco/Types.h>

#include <string>
#include <vector>

namespace Orvik::Utility::Data
{

/// The key that the database gave to a row inserted by EntityServer::update.
/// `previousKey` is the key the entity held before the insert (0 when it had none,
/// or a temporary key a configuration tool used to link new rows), so that a tool
/// can replace its temporary keys by the stored ones.
struct DataAutoIncrement
{
    std::string tableName;
    Poco::Int32 previousKey = 0;
    Poco::Int32 assignedKey = 0;

    bool operator==(const DataAutoIncrement& other) const
    {
        return tableName == other.tableName && previousKey == other.previousKey &&
               assignedKey == other.assignedKey;
    }
};

using AutoIncrementVector = std::vector<DataAutoIncrement>;

}  // namespace Orvik::Utility::Data
