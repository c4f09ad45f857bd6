#pragma once

#include "Orvik_Utility/Data/DataAutoIncrement.h"
#include "Orvik_Utility/Data/Entity.h"
#include "Orvik_Utility/Data/EntityTypeHandler.h"

#include <Poco/Data/Session.h>
#include <Poco/Data/Statement.h>

#include <map>
#include <memory>
#include <string>

namespace Orvik::Utility::Data
{

/// Builds and runs the statements of entities on one session.
///
/// Select: "SELECT <columns of getColNames()> FROM <sqlFrom()><sqlJoin()>
/// [WHERE <where>] [ORDER BY <orderBy, else sqlOrderBy()>]", the select arguments
/// bound in order to the `?` of the where-clause. The where-clause and arguments
/// stay set until changed, so one server can read several rows alike.
///
/// update(): a new entity (STATUS_NEW) is inserted with every column that holds a
/// value or was changed; its key column only when the key is above 0, otherwise
/// SQLite assigns the key (INTEGER PRIMARY KEY). The assigned key is given to the
/// entity through its virtual setPK(key, false), so rows it holds take it over,
/// and appended to `pKeys`. A stored entity is updated in the changed columns only
/// (never its key column), matched by its key; with no changed column nothing runs.
/// After a successful statement the entity's status is cleared.
///
/// Database errors are Poco::Data exceptions and are not caught here.
/// Not thread-safe: one server per thread (the session may be shared).
class EntityServer
{
public:
    explicit EntityServer(Poco::Data::Session& session);

    Poco::Data::Session& getSession() const { return _session; }

    void setWhere(const std::string& where) { _where = where; }
    const std::string& getWhere() const { return _where; }
    /// Columns to order by (without "ORDER BY"); empty: the entity's sqlOrderBy().
    void setOrderBy(const std::string& orderBy) { _orderBy = orderBy; }
    const std::string& getOrderBy() const { return _orderBy; }
    void clearSelectArgs() { _selectArgs.clear(); }
    void addSelectArg(const Poco::Dynamic::Var& arg) { _selectArgs.push_back(arg); }
    const Entity::Vars& getSelectArgs() const { return _selectArgs; }

    std::string getSelectSQL(const Entity& entity) const;

    /// Reads the first selected row into `entity` and clears its status.
    /// Returns the number of rows read, 0 or 1; with 0 the entity is unchanged.
    template <class E>
    std::size_t retrieve(E& entity);

    /// Reads every selected row into `rows` (added, keyed by primary key; of two
    /// rows with one key the first stays). Returns the number of rows read.
    template <class E>
    std::size_t retrieve(std::map<Poco::Int32, E>& rows);

    /// Inserts a new entity or writes the changed columns of a stored one (see the
    /// class comment). Returns the number of rows written: 1, or 0 when there was
    /// nothing to write or no stored row has the entity's key.
    Poco::Int32 update(Entity& entity, AutoIncrementVector* pKeys);

private:
    void prepareSelect(Poco::Data::Statement& statement, const Entity& entity);
    Poco::Int32 insert(Entity& entity, AutoIncrementVector* pKeys);
    Poco::Int32 updateChanged(Entity& entity);
    static void bindAll(Poco::Data::Statement& statement, const Entity::Vars& values);

    Poco::Data::Session& _session;
    std::string _where;
    std::string _orderBy;
    Entity::Vars _selectArgs;
};

template <class E>
std::size_t EntityServer::retrieve(E& entity)
{
    Poco::Data::Statement statement(_session);
    prepareSelect(statement, entity);
    statement, Poco::Data::Keywords::into(entity), Poco::Data::Keywords::limit(1);
    const std::size_t rows = statement.execute();
    if (rows > 0)
    {
        entity.clearStatus();
    }
    return rows;
}

template <class E>
std::size_t EntityServer::retrieve(std::map<Poco::Int32, E>& rows)
{
    E prototype;
    Poco::Data::Statement statement(_session);
    prepareSelect(statement, prototype);
    std::map<Poco::Int32, E> read;
    statement, Poco::Data::Keywords::into(read);
    const std::size_t count = statement.execute();
    for (auto& [key, row] : read)
    {
        row.clearStatus();
        rows.emplace(key, row);
    }
    return count;
}

template <class Child>
std::size_t Entity::getChilds(Poco::Data::Session& session, std::map<Poco::Int32, Child>& childs,
                              const std::string* pWhere, const Vars* pSelectArgs,
                              const std::string& orderBy) const
{
    EntityServer server(session);
    std::string where = *getColNames().at(0) + "=?";
    if (pWhere != nullptr && !pWhere->empty())
    {
        where += " AND (" + *pWhere + ")";
    }
    server.setWhere(where);
    server.addSelectArg(getPK());
    if (pSelectArgs != nullptr)
    {
        for (const auto& arg : *pSelectArgs)
        {
            server.addSelectArg(arg);
        }
    }
    server.setOrderBy(orderBy);
    return server.retrieve(childs);
}

template <class Parent>
std::unique_ptr<Parent> Entity::getParent(Poco::Data::Session& session, std::size_t fkColumn) const
{
    const Poco::Dynamic::Var& foreignKey = getVar(fkColumn);
    if (foreignKey.isEmpty())
    {
        return nullptr;
    }
    auto pParent = std::make_unique<Parent>(false);
    EntityServer server(session);
    server.setWhere(*pParent->getColNames().at(0) + "=?");
    server.addSelectArg(foreignKey);
    if (server.retrieve(*pParent) == 0)
    {
        return nullptr;
    }
    return pParent;
}

}  // namespace Orvik::Utility::Data
