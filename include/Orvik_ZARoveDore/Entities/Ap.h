#pragma once

#include "Orvik_Utility/Data/EntityServer.h"
#include "Orvik_ZARoveDore/Entities/ParentLink.h"

#include <Poco/Nullable.h>
#include <Poco/Types.h>

#include <map>
#include <memory>
#include <string>

namespace Orvik::Apps::Entity
{

/// Base of the row classes of the app and watchdog configuration tables.
///
/// Adds no data to the host's Entity. It holds what all row classes do alike: the
/// typed reading of column values (NULL reads as 0, false or ""), the read by
/// primary key, and the handling of child maps.
///
/// Child maps are shared between copies of a row (a copy refers to the same map,
/// held by std::shared_ptr): the last copy that lets go deletes the map, so no
/// map is deleted twice or used after another copy deleted it.
///
/// Row classes read and write through the host's session Orvik::Utility::Data::pDB;
/// when it is not set they throw Poco::NullPointerException.
class Ap : public Orvik::Utility::Data::Entity
{
public:
    using EntityServer = Orvik::Utility::Data::EntityServer;
    using AutoIncrementVector = Orvik::Utility::Data::AutoIncrementVector;

    using Orvik::Utility::Data::Entity::Entity;

protected:
    template <class Child>
    using ChildMap = std::map<Poco::Int32, Child>;

    /// The host's configuration database session.
    static Poco::Data::Session& session();

    Poco::Int32 getInt(std::size_t index) const;
    Poco::UInt32 getUInt(std::size_t index) const;
    bool getBool(std::size_t index) const;
    std::string getString(std::size_t index) const;
    Poco::Nullable<Poco::Int32> getNullableInt(std::size_t index) const;
    void setNullableInt(std::size_t index, const Poco::Nullable<Poco::Int32>& value);

    /// Reads the row whose key column equals `id` into `row` (the server's where-clause
    /// and arguments are replaced). Returns the number of rows read.
    template <class Row>
    static Poco::Int32 retrieveByKey(Row& row, Poco::Int32 id, EntityServer& es)
    {
        es.setWhere(*row.getColNames().at(0) + "=?");
        es.clearSelectArgs();
        es.addSelectArg(id);
        return static_cast<Poco::Int32>(es.retrieve(row));
    }

    /// Loads the parent from foreign key column `fkColumn` when the link is internally
    /// managed; returns the parent (null when none is found).
    template <class Parent>
    Parent* retrieveParent(ParentLink<Parent>& link, std::size_t fkColumn) const
    {
        if (link.isInternallyManaged())
        {
            link.own(getParent<Parent>(session(), fkColumn));
        }
        return link.get();
    }

    /// The parent, loaded on first use.
    template <class Parent>
    Parent* getParentOnFirstUse(ParentLink<Parent>& link, std::size_t fkColumn) const
    {
        return link.get() != nullptr ? link.get() : retrieveParent(link, fkColumn);
    }

    /// Sets a parent from outside (not owned) and writes its key into `fkColumn`.
    template <class Parent>
    void setParentFromOutside(ParentLink<Parent>& link, Parent* pParent, std::size_t fkColumn)
    {
        link.set(pParent);
        if (pParent != nullptr)
        {
            setVar(fkColumn, pParent->getPK(), true);
        }
    }

    /// (Re)loads a child map: created or cleared first, dropped when no row is found.
    template <class Child>
    Poco::Int32 retrieveChilds(std::shared_ptr<ChildMap<Child>>& pChilds, const std::string* pWhere,
                               const Vars* pSelectArgs, const std::string& orderBy = std::string()) const
    {
        if (pChilds)
        {
            pChilds->clear();
        }
        else
        {
            pChilds = std::make_shared<ChildMap<Child>>();
        }
        const auto count =
            static_cast<Poco::Int32>(getChilds(session(), *pChilds, pWhere, pSelectArgs, orderBy));
        if (pChilds->empty())
        {
            pChilds.reset();
        }
        return count;
    }

    template <class Child>
    static Child* findChild(const std::shared_ptr<ChildMap<Child>>& pChilds, Poco::Int32 key)
    {
        if (!pChilds)
        {
            return nullptr;
        }
        const auto it = pChilds->find(key);
        return it == pChilds->end() ? nullptr : &it->second;
    }

    /// Stores a copy of `child` under its current key; a child held under that key is replaced.
    template <class Child>
    static void storeChild(std::shared_ptr<ChildMap<Child>>& pChilds, const Child& child)
    {
        if (!pChilds)
        {
            pChilds = std::make_shared<ChildMap<Child>>();
        }
        (*pChilds)[child.getPK()] = child;
    }

    /// Updates every held child, then keys each by its key after the update, so that
    /// inserted children are found under the key the database gave them.
    template <class Child>
    static Poco::Int32 updateChilds(const std::shared_ptr<ChildMap<Child>>& pChilds, EntityServer& es,
                                    AutoIncrementVector* pKeys)
    {
        if (!pChilds)
        {
            return 0;
        }
        Poco::Int32 written = 0;
        ChildMap<Child> rekeyed;
        for (auto& entry : *pChilds)
        {
            written += es.update(entry.second, pKeys);
            rekeyed.emplace(entry.second.getPK(), entry.second);
        }
        pChilds->swap(rekeyed);
        return written;
    }
};

}  // namespace Orvik::Apps::Entity
