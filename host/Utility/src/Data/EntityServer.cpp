#include "Orvik_Utility/Data/EntityServer.h"

#include <Poco/Data/Binding.h>

namespace Orvik::Utility::Data
{

namespace
{
std::string joinColumns(const Entity& entity, const std::vector<std::size_t>& columns, const char* suffix)
{
    std::string text;
    for (std::size_t column : columns)
    {
        if (!text.empty())
        {
            text += ",";
        }
        text += *entity.getColNames().at(column) + suffix;
    }
    return text;
}

/// Columns a new row is inserted with: the key when it is set, every other column
/// that holds a value or was set to NULL on purpose.
std::vector<std::size_t> insertColumns(const Entity& entity)
{
    std::vector<std::size_t> columns;
    if (entity.getPK() > 0)
    {
        columns.push_back(0);
    }
    for (std::size_t column = 1; column < entity.getColCount(); ++column)
    {
        if (!entity.isNull(column) || entity.isChanged(column))
        {
            columns.push_back(column);
        }
    }
    return columns;
}

std::vector<std::size_t> changedColumns(const Entity& entity)
{
    std::vector<std::size_t> columns;
    for (std::size_t column = 1; column < entity.getColCount(); ++column)
    {
        if (entity.isChanged(column))
        {
            columns.push_back(column);
        }
    }
    return columns;
}

std::string placeholders(std::size_t count)
{
    std::string marks;
    for (std::size_t i = 0; i < count; ++i)
    {
        marks += i == 0 ? "?" : ",?";
    }
    return marks;
}

}  // namespace

EntityServer::EntityServer(Poco::Data::Session& session) : _session(session) {}

std::string EntityServer::getSelectSQL(const Entity& entity) const
{
    std::vector<std::size_t> all(entity.getColCount());
    for (std::size_t column = 0; column < all.size(); ++column)
    {
        all[column] = column;
    }
    std::string sql =
        "SELECT " + joinColumns(entity, all, "") + " FROM " + entity.sqlFrom() + entity.sqlJoin();
    if (!_where.empty())
    {
        sql += " WHERE " + _where;
    }
    const std::string orderBy = _orderBy.empty() ? entity.sqlOrderBy() : _orderBy;
    if (!orderBy.empty())
    {
        sql += " ORDER BY " + orderBy;
    }
    return sql;
}

void EntityServer::prepareSelect(Poco::Data::Statement& statement, const Entity& entity)
{
    statement << getSelectSQL(entity);
    bindAll(statement, _selectArgs);
}

void EntityServer::bindAll(Poco::Data::Statement& statement, const Entity::Vars& values)
{
    // Copies, so the values need not outlive this call. Poco binds a Var by the type
    // it holds and has none for NULL: an empty Var goes in as a null Nullable.
    for (const auto& value : values)
    {
        if (value.isEmpty())
        {
            statement.addBind(Poco::Data::Keywords::bind(Poco::Nullable<std::string>()));
        }
        else
        {
            statement.addBind(Poco::Data::Keywords::bind(value));
        }
    }
}

Poco::Int32 EntityServer::update(Entity& entity, AutoIncrementVector* pKeys)
{
    return entity.isNew() ? insert(entity, pKeys) : updateChanged(entity);
}

Poco::Int32 EntityServer::insert(Entity& entity, AutoIncrementVector* pKeys)
{
    const std::vector<std::size_t> columns = insertColumns(entity);
    const std::string& keyColumn = *entity.getColNames().at(0);
    std::string sql = "INSERT INTO " + entity.getTableName();
    sql += columns.empty()
               ? std::string(" DEFAULT VALUES")
               : " (" + joinColumns(entity, columns, "") + ") VALUES (" + placeholders(columns.size()) + ")";
    sql += " RETURNING " + keyColumn;

    Entity::Vars values;
    for (std::size_t column : columns)
    {
        values.push_back(entity.getVar(column));
    }
    Poco::Int32 assignedKey = 0;
    Poco::Data::Statement statement(_session);
    statement << sql;
    bindAll(statement, values);
    statement, Poco::Data::Keywords::into(assignedKey);
    if (statement.execute() == 0)
    {
        return 0;
    }
    const Poco::Int32 previousKey = entity.getPK();
    entity.setPK(assignedKey, false);
    entity.clearStatus();
    if (pKeys != nullptr)
    {
        pKeys->push_back(DataAutoIncrement{entity.getTableName(), previousKey, assignedKey});
    }
    return 1;
}

Poco::Int32 EntityServer::updateChanged(Entity& entity)
{
    const std::vector<std::size_t> columns = changedColumns(entity);
    if (columns.empty())
    {
        entity.clearStatus();
        return 0;
    }
    const std::string sql = "UPDATE " + entity.getTableName() + " SET " + joinColumns(entity, columns, "=?") +
                            " WHERE " + *entity.getColNames().at(0) + "=?";
    Entity::Vars values;
    for (std::size_t column : columns)
    {
        values.push_back(entity.getVar(column));
    }
    values.push_back(entity.getPK());
    Poco::Data::Statement statement(_session);
    statement << sql;
    bindAll(statement, values);
    const auto rows = static_cast<Poco::Int32>(statement.execute());
    if (rows > 0)
    {
        entity.clearStatus();
    }
    return rows;
}

}  // namespace Orvik::Utility::Data
