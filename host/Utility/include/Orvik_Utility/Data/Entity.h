#pragma once

#include <Poco/Data/Session.h>
#include <Poco/Dynamic/Var.h>
#include <Poco/Types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Orvik::Utility::Data
{

/// One row of a configuration table as an object: one Poco::Dynamic::Var per
/// column in the order of getColNames(), the primary key (column 0, a signed
/// 32-bit integer) and a status word.
///
/// Status: STATUS_NEW marks a row not yet stored (EntityServer::update inserts
/// it); each column also carries a changed flag, set by setVar(.., true), and
/// STATUS_MODIFIED is set as long as any column is changed. EntityServer::update
/// writes only changed columns of a stored row and clears the status afterwards.
/// An empty Var is SQL NULL.
///
/// A derived class fixes the table (getTableName), the columns (getColNames, a
/// list of pointers to constant names), sets the column count in its constructor
/// (setColCount) and implements setPK, which stores the key with setPK2 and may
/// pass it on to rows that refer to this one. Reads go through the
/// Poco::Data::TypeHandler of EntityTypeHandler.h: column 0 goes through setPK(key,
/// false), every other column through setVar(index, value, false).
///
/// Relations: getChilds() reads the rows of a child table whose foreign key
/// column has the name of this entity's key column (column 0) and holds this
/// entity's key; getParent() reads the row of a parent table whose key equals the
/// value of one of this entity's columns. Their definitions are in EntityServer.h.
class Entity
{
public:
    using ColNames = std::vector<const std::string*>;
    using Vars = std::vector<Poco::Dynamic::Var>;

    enum Status : Poco::UInt32
    {
        STATUS_CLEAN = 0x0,
        STATUS_NEW = 0x1,
        STATUS_MODIFIED = 0x2
    };

    /// `setAsNew`: the row is not stored yet.
    explicit Entity(bool setAsNew);
    Entity(const Entity&) = default;
    Entity& operator=(const Entity&) = default;
    virtual ~Entity();

    virtual const std::string& getTableName() const = 0;
    virtual const ColNames& getColNames() const = 0;
    virtual Poco::Int32 getPK() const;
    /// Orders by primary key.
    virtual bool operator<(const Entity& other) const;
    /// The primary key; Poco::Data's map extraction keys rows by it.
    virtual Poco::Int32 operator()() const;
    /// Copies column values, changed flags, status and key of `other`, which must
    /// have the same column count (Poco::InvalidArgumentException otherwise).
    virtual void copyBaseStuff(const Entity& other);
    virtual void setPK(Poco::Int32 pk, bool updateStatus) = 0;
    /// The FROM part of the select: the table name.
    virtual std::string sqlFrom() const;
    /// Text put after the FROM part (for example a JOIN); empty.
    virtual std::string sqlJoin() const;
    /// Default ORDER BY columns of a select (without "ORDER BY"); empty: none.
    virtual std::string sqlOrderBy() const;

    std::size_t getColCount() const { return _vars.size(); }
    /// Column value; Poco::RangeException for an index beyond the columns.
    const Poco::Dynamic::Var& getVar(std::size_t index) const;
    /// Stores a column value; `markChanged` marks the column for the next update.
    /// Poco::RangeException for an index beyond the columns.
    void setVar(std::size_t index, const Poco::Dynamic::Var& value, bool markChanged);
    bool isNull(std::size_t index) const { return getVar(index).isEmpty(); }
    bool isChanged(std::size_t index) const;

    Poco::UInt32 getStatus() const { return _status; }
    bool isNew() const { return (_status & STATUS_NEW) != 0; }
    bool isModified() const { return (_status & STATUS_MODIFIED) != 0; }
    void setNew(bool setAsNew);
    /// Clears the status and every changed flag: the object equals its stored row.
    void clearStatus();

    /// Reads the child rows of this entity into `childs` (added to what it holds,
    /// keyed by their primary key). The child table's column named like this
    /// entity's key column must equal getPK(); `pWhere` (optional, with `?`
    /// placeholders bound from `pSelectArgs`) narrows further. `orderBy` empty:
    /// the child's sqlOrderBy(). Returns the number of rows read.
    template <class Child>
    std::size_t getChilds(Poco::Data::Session& session, std::map<Poco::Int32, Child>& childs,
                          const std::string* pWhere, const Vars* pSelectArgs,
                          const std::string& orderBy = std::string()) const;

    /// Reads the parent row whose key is the value of column `fkColumn`; null
    /// when that column is NULL or no such row exists.
    template <class Parent>
    std::unique_ptr<Parent> getParent(Poco::Data::Session& session, std::size_t fkColumn) const;

protected:
    void setColCount(std::size_t count);
    /// Stores the key and writes it into column 0 (marked changed when `updateStatus`).
    void setPK2(Poco::Int32 pk, bool updateStatus);

private:
    void checkIndex(std::size_t index) const;
    void updateModifiedStatus();

    Vars _vars;
    std::vector<bool> _changed;
    Poco::Int32 _pk = 0;
    Poco::UInt32 _status = STATUS_CLEAN;
};

}  // namespace Orvik::Utility::Data
