#include "Orvik_Utility/Data/EntityServer.h"
#include "Orvik_Utility/Data/TeskDbSession.h"

#include <Poco/Data/DataException.h>
#include <Poco/TemporaryFile.h>
#include <gtest/gtest.h>

using namespace Orvik::Utility::Data;
using Poco::Int32;
using Poco::Data::Keywords::into;
using Poco::Data::Keywords::now;

namespace
{

const std::string SHELF = "shelf", ID_SHELF = "id_shelf", LABEL = "label", CAPACITY = "capacity",
                  NOTE = "note", BOOK = "book", ID_BOOK = "id_book", TITLE = "title";

const char* const SCHEMA = R"(
CREATE TABLE shelf (id_shelf INTEGER PRIMARY KEY, label TEXT NOT NULL DEFAULT 'unnamed', capacity INTEGER, note TEXT);
-- books belong to a shelf
CREATE TABLE book (id_book INTEGER PRIMARY KEY, id_shelf INTEGER NOT NULL REFERENCES shelf(id_shelf), title TEXT);
)";

/// Two small row classes over a shelf and its books: the least a row class needs.
class Book : public Entity
{
public:
    explicit Book(bool setAsNew = false) : Entity(setAsNew) { setColCount(_colNames.size()); }
    const std::string& getTableName() const override { return BOOK; }
    const ColNames& getColNames() const override { return _colNames; }
    void setPK(Int32 pk, bool updateStatus) override { setPK2(pk, updateStatus); }
    static const ColNames _colNames;
};
const Entity::ColNames Book::_colNames{&ID_BOOK, &ID_SHELF, &TITLE};

class Shelf : public Entity
{
public:
    explicit Shelf(bool setAsNew = false) : Entity(setAsNew) { setColCount(_colNames.size()); }
    const std::string& getTableName() const override { return SHELF; }
    const ColNames& getColNames() const override { return _colNames; }
    std::string sqlOrderBy() const override { return LABEL; }
    void setPK(Int32 pk, bool updateStatus) override
    {
        setPK2(pk, updateStatus);
        for (auto& entry : books)
            entry.second.setVar(1, pk, true);
    }
    std::map<Int32, Book> books;
    static const ColNames _colNames;
};
const Entity::ColNames Shelf::_colNames{&ID_SHELF, &LABEL, &CAPACITY, &NOTE};

}  // namespace

namespace Poco::Data
{
template <>
class TypeHandler<Book> : public EntityTypeHandler<Book>
{
};
template <>
class TypeHandler<Shelf> : public EntityTypeHandler<Shelf>
{
};
}  // namespace Poco::Data

namespace
{

class EntityLayer : public ::testing::Test
{
protected:
    void SetUp() override { _db.executeScript(SCHEMA); }

    /// A new row with the values of columns 1, 2, ... stored; its key.
    template <class Row>
    Int32 stored(const Entity::Vars& values)
    {
        Row row(true);
        for (std::size_t column = 0; column < values.size(); ++column)
            row.setVar(column + 1, values[column], true);
        EXPECT_EQ(_server.update(row, nullptr), 1);
        return row.getPK();
    }

    std::size_t retrieve(Shelf& shelf, Int32 key)
    {
        _server.setWhere("id_shelf=?");
        _server.addSelectArg(key);
        return _server.retrieve(shelf);
    }

    template <class T>
    T queryOne(const std::string& sql)
    {
        T value{};
        _db << sql, into(value), now;
        return value;
    }

    Poco::TemporaryFile _file;
    TeskDbSession _db{_file.path()};
    EntityServer _server{_db};
};

}  // namespace

TEST_F(EntityLayer, InsertStoresTheRowAndReportsTheAssignedOrGivenKey)
{
    Shelf shelf(true);
    shelf.setVar(1, "fiction", true);
    AutoIncrementVector keys;
    EXPECT_EQ(_server.update(shelf, &keys), 1);
    EXPECT_GT(shelf.getPK(), 0);
    EXPECT_EQ(shelf.getVar(0).convert<Int32>(), shelf.getPK());
    EXPECT_EQ(shelf.getStatus(), Entity::STATUS_CLEAN);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0], (DataAutoIncrement{"shelf", 0, shelf.getPK()}));
    EXPECT_EQ(
        queryOne<std::string>("SELECT label FROM shelf WHERE id_shelf=" + std::to_string(shelf.getPK())),
        "fiction");

    Shelf empty(true);
    EXPECT_EQ(_server.update(empty, nullptr), 1);
    EXPECT_EQ(
        queryOne<std::string>("SELECT label FROM shelf WHERE id_shelf=" + std::to_string(empty.getPK())),
        "unnamed")
        << "columns without values take the table defaults";

    Shelf given(true);
    given.setPK(77, true);
    keys.clear();
    EXPECT_EQ(_server.update(given, &keys), 1);
    EXPECT_EQ(given.getPK(), 77);
    EXPECT_EQ(keys[0], (DataAutoIncrement{"shelf", 77, 77}));
    Shelf twin(true);
    twin.setPK(77, true);
    EXPECT_THROW(_server.update(twin, nullptr), Poco::Data::DataException)
        << "database errors reach the caller";
    EXPECT_TRUE(twin.isNew());
}

TEST_F(EntityLayer, UpdateWritesOnlyTheChangedColumns)
{
    Shelf shelf;
    ASSERT_EQ(retrieve(shelf, stored<Shelf>({"history", 10})), 1u);
    EXPECT_FALSE(shelf.isModified());
    _db << "UPDATE shelf SET capacity=99", now;  // another writer changes a column we do not touch

    shelf.setVar(1, "old history", true);
    EXPECT_TRUE(shelf.isModified());
    EXPECT_TRUE(shelf.isChanged(1));
    EXPECT_FALSE(shelf.isChanged(2));
    EXPECT_EQ(_server.update(shelf, nullptr), 1);

    EXPECT_EQ(queryOne<std::string>("SELECT label FROM shelf"), "old history");
    EXPECT_EQ(queryOne<int>("SELECT capacity FROM shelf"), 99);
    EXPECT_EQ(shelf.getStatus(), Entity::STATUS_CLEAN);
    EXPECT_EQ(_server.update(shelf, nullptr), 0) << "nothing changed, nothing written";
}

TEST_F(EntityLayer, MissingRowsAreNeitherWrittenNorReadAndTheObjectKeepsItsState)
{
    Shelf ghost;
    ghost.setPK(12345, false);
    ghost.setVar(1, "ghost", true);
    EXPECT_EQ(_server.update(ghost, nullptr), 0);
    EXPECT_TRUE(ghost.isModified()) << "the change is not lost";

    Shelf unsaved(true);
    unsaved.setVar(1, "unsaved", true);
    EXPECT_EQ(retrieve(unsaved, 4711), 0u);
    EXPECT_TRUE(unsaved.isNew());
    EXPECT_EQ(unsaved.getVar(1).convert<std::string>(), "unsaved");
}

TEST_F(EntityLayer, NullColumnsRoundTrip)
{
    const Int32 key = stored<Shelf>({"misc", Poco::Dynamic::Var(), Poco::Dynamic::Var()});
    EXPECT_EQ(queryOne<int>("SELECT COUNT(*) FROM shelf WHERE note IS NULL AND capacity IS NULL"), 1);

    Shelf read;
    ASSERT_EQ(retrieve(read, key), 1u);
    EXPECT_TRUE(read.isNull(2));
    EXPECT_TRUE(read.isNull(3));
    EXPECT_EQ(read.getVar(1).convert<std::string>(), "misc");

    read.setVar(3, "dusty", true);
    ASSERT_EQ(_server.update(read, nullptr), 1);
    read.setVar(3, Poco::Dynamic::Var(), true);
    ASSERT_EQ(_server.update(read, nullptr), 1);
    EXPECT_EQ(queryOne<int>("SELECT COUNT(*) FROM shelf WHERE note IS NULL"), 1) << "set back to NULL";
}

TEST_F(EntityLayer, SessionRunsScriptsAndChecksForeignKeys)
{
    EXPECT_EQ(_db.getFileName(), _file.path());
    EXPECT_THROW((_db << "INSERT INTO book (id_shelf, title) VALUES (5, 'orphan')", now),
                 Poco::Data::DataException);
    EXPECT_THROW(_db.executeScript("CREATE TABLE x (a INTEGER); THIS IS NOT SQL;"),
                 Poco::Data::DataException);
    EXPECT_EQ(queryOne<int>("SELECT COUNT(*) FROM sqlite_master WHERE name='x'"), 0)
        << "a failing script leaves nothing behind";
}

TEST(Entity, ColumnAccessIsBoundsCheckedAndStatusFollowsNewAndChangedColumns)
{
    Shelf shelf(true);
    EXPECT_EQ(shelf.getColCount(), 4u);
    EXPECT_THROW(shelf.getVar(4), Poco::RangeException);
    EXPECT_THROW(shelf.setVar(4, 1, true), Poco::RangeException);
    EXPECT_THROW(shelf.isChanged(9), Poco::RangeException);
    Book book;
    EXPECT_THROW(shelf.copyBaseStuff(book), Poco::InvalidArgumentException);

    EXPECT_EQ(shelf.getStatus(), Entity::STATUS_NEW);
    shelf.setVar(2, 5, false);
    EXPECT_FALSE(shelf.isModified()) << "a value read, not changed";
    shelf.setVar(2, 6, true);
    EXPECT_EQ(shelf.getStatus(), Entity::STATUS_NEW | Entity::STATUS_MODIFIED);
    Shelf copy(false);
    copy.copyBaseStuff(shelf);
    copy.clearStatus();
    EXPECT_EQ(copy.getVar(2).convert<int>(), 6);
    EXPECT_FALSE(copy.isChanged(2));
    EXPECT_TRUE(shelf.isChanged(2)) << "copies keep their own status";
}
