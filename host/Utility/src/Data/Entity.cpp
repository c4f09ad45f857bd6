#include "Orvik_Utility/Data/Entity.h"

#include <Poco/Exception.h>

namespace Orvik::Utility::Data
{

Entity::Entity(bool setAsNew) : _status(setAsNew ? STATUS_NEW : STATUS_CLEAN) {}

Entity::~Entity() = default;

Poco::Int32 Entity::getPK() const
{
    return _pk;
}

bool Entity::operator<(const Entity& other) const
{
    return getPK() < other.getPK();
}

Poco::Int32 Entity::operator()() const
{
    return getPK();
}

void Entity::copyBaseStuff(const Entity& other)
{
    if (other.getColCount() != getColCount())
    {
        throw Poco::InvalidArgumentException("Entity::copyBaseStuff: column counts differ");
    }
    _vars = other._vars;
    _changed = other._changed;
    _pk = other._pk;
    _status = other._status;
}

std::string Entity::sqlFrom() const
{
    return getTableName();
}

std::string Entity::sqlJoin() const
{
    return std::string();
}

std::string Entity::sqlOrderBy() const
{
    return std::string();
}

const Poco::Dynamic::Var& Entity::getVar(std::size_t index) const
{
    checkIndex(index);
    return _vars[index];
}

void Entity::setVar(std::size_t index, const Poco::Dynamic::Var& value, bool markChanged)
{
    checkIndex(index);
    _vars[index] = value;
    if (markChanged)
    {
        _changed[index] = true;
        _status |= STATUS_MODIFIED;
    }
}

bool Entity::isChanged(std::size_t index) const
{
    checkIndex(index);
    return _changed[index];
}

void Entity::setNew(bool setAsNew)
{
    _status = setAsNew ? (_status | STATUS_NEW) : (_status & ~STATUS_NEW);
}

void Entity::clearStatus()
{
    _changed.assign(_changed.size(), false);
    _status = STATUS_CLEAN;
}

void Entity::setColCount(std::size_t count)
{
    _vars.resize(count);
    _changed.resize(count, false);
    updateModifiedStatus();
}

void Entity::setPK2(Poco::Int32 pk, bool updateStatus)
{
    _pk = pk;
    if (getColCount() > 0)
    {
        setVar(0, pk, updateStatus);
    }
}

void Entity::checkIndex(std::size_t index) const
{
    if (index >= _vars.size())
    {
        throw Poco::RangeException("Column index " + std::to_string(index) + " beyond the " +
                                   std::to_string(_vars.size()) + " columns of " + getTableName());
    }
}

void Entity::updateModifiedStatus()
{
    bool anyChanged = false;
    for (bool changed : _changed)
    {
        anyChanged = anyChanged || changed;
    }
    _status = anyChanged ? (_status | STATUS_MODIFIED) : (_status & ~STATUS_MODIFIED);
}

}  // namespace Orvik::Utility::Data
