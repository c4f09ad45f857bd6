#include "Orvik_Utility/Data/EntityTypeHandler.h"

#include <Poco/Data/DataException.h>

namespace Orvik::Utility::Data
{

namespace
{
Poco::Dynamic::Var extractColumn(std::size_t pos, Poco::Data::AbstractExtractor::Ptr pExtractor)
{
    Poco::Dynamic::Var value;
    if (pExtractor->isNull(pos) || !pExtractor->extract(pos, value))
    {
        value.clear();
    }
    return value;
}

Poco::Int32 keyOf(const Poco::Dynamic::Var& value, const Entity& entity)
{
    try
    {
        return value.convert<Poco::Int32>();
    }
    catch (const Poco::Exception& e)
    {
        throw Poco::Data::DataException("Row of " + entity.getTableName() + " without a valid key", e);
    }
}
}  // namespace

void extractEntity(std::size_t pos, Entity& entity, Poco::Data::AbstractExtractor::Ptr pExtractor)
{
    const std::size_t count = entity.getColCount();
    for (std::size_t column = 1; column < count; ++column)
    {
        entity.setVar(column, extractColumn(pos + column, pExtractor), false);
    }
    // The key last: setPK may pass it on to held rows and must see a complete row.
    if (count > 0)
    {
        entity.setPK(keyOf(extractColumn(pos, pExtractor), entity), false);
    }
}

void prepareEntity(std::size_t pos, const Entity& entity, Poco::Data::AbstractPreparator::Ptr pPreparator)
{
    for (std::size_t column = 0; column < entity.getColCount(); ++column)
    {
        pPreparator->prepare(pos + column, entity.getVar(column));
    }
}

}  // namespace Orvik::Utility::Data
