#pragma once

#include "Orvik_Utility/Data/Entity.h"

#include <Poco/Data/AbstractExtractor.h>
#include <Poco/Data/AbstractPreparator.h>
#include <Poco/Data/TypeHandler.h>

namespace Orvik::Utility::Data
{

/// Reads one row into `entity`, positionally from result column `pos` on: as many
/// columns as the entity has, in the order of its getColNames(). Column 0 becomes
/// the key through the virtual setPK(key, false), so that rows the entity holds
/// follow; every other column is stored with setVar(index, value, false). SQL NULL
/// becomes an empty Var. A NULL or non-numeric key throws Poco::Data::DataException.
void extractEntity(std::size_t pos, Entity& entity, Poco::Data::AbstractExtractor::Ptr pExtractor);

void prepareEntity(std::size_t pos, const Entity& entity, Poco::Data::AbstractPreparator::Ptr pPreparator);

/// The Poco::Data::TypeHandler of a row class E, so that `into(entity)`,
/// `into(std::vector<E>)` and `into(std::map<Poco::Int32, E>)` (rows keyed by their
/// primary key) work. Poco picks type handlers by exact type, so each row class
/// declares its own specialisation next to its class:
///
///     namespace Poco::Data {
///     template <>
///     class TypeHandler<MyRow> : public Orvik::Utility::Data::EntityTypeHandler<MyRow> {};
///     }
///
/// E must be default-constructible (Poco creates the rows it extracts into).
template <class E>
class EntityTypeHandler : public Poco::Data::AbstractTypeHandler
{
public:
    static std::size_t size()
    {
        static const std::size_t count = E().getColCount();
        return count;
    }

    static void extract(std::size_t pos, E& entity, const E&, Poco::Data::AbstractExtractor::Ptr pExtractor)
    {
        extractEntity(pos, entity, pExtractor);
    }

    static void prepare(std::size_t pos, const E& entity, Poco::Data::AbstractPreparator::Ptr pPreparator)
    {
        prepareEntity(pos, entity, pPreparator);
    }
};

}  // namespace Orvik::Utility::Data
