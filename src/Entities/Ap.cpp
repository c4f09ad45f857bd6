#include "Orvik_ZARoveDore/Entities/Ap.h"

#include "Orvik_Utility/Data/TeskDbSession.h"

#include <Poco/Exception.h>

namespace Orvik::Apps::Entity
{

Poco::Data::Session& Ap::session()
{
    if (Orvik::Utility::Data::pDB == nullptr)
    {
        throw Poco::NullPointerException("The configuration database is not open");
    }
    return *Orvik::Utility::Data::pDB;
}

Poco::Int32 Ap::getInt(std::size_t index) const
{
    return isNull(index) ? 0 : getVar(index).convert<Poco::Int32>();
}

Poco::UInt32 Ap::getUInt(std::size_t index) const
{
    return isNull(index) ? 0 : getVar(index).convert<Poco::UInt32>();
}

bool Ap::getBool(std::size_t index) const
{
    return isNull(index) ? false : getVar(index).convert<bool>();
}

std::string Ap::getString(std::size_t index) const
{
    return isNull(index) ? std::string() : getVar(index).convert<std::string>();
}

Poco::Nullable<Poco::Int32> Ap::getNullableInt(std::size_t index) const
{
    return isNull(index) ? Poco::Nullable<Poco::Int32>() : Poco::Nullable<Poco::Int32>(getInt(index));
}

void Ap::setNullableInt(std::size_t index, const Poco::Nullable<Poco::Int32>& value)
{
    setVar(index, value.isNull() ? Poco::Dynamic::Var() : Poco::Dynamic::Var(value.value()), true);
}

}  // namespace Orvik::Apps::Entity
