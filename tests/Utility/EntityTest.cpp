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
                  NOTE = "note";
const std::string BOOK = "book", ID_BOOK = "id_book", TITLE = "title";

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
        {
            entry.second.setVar(1, pk, true);
        }
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

    Int32 storedShelf(const std::string& label, int capacity)
    {
        Shelf shelf(true);
        shelf.setVar(1, label, true);
        shelf.setVar(2, capacity, true);
        EXPECT_EQ(_server.update(shelf, nullptr), 1);
        return shelf.getPK();
    }

    Int32 storedBook(Int32 shelf, const std::string& title)
    {
        Book book(true);
        book.setVar(1, shelf, true);
        book.setVar(2, title, true);
        EXPECT_EQ(_server.update(book, nullptr), 1);
        return book.getPK();
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

TEST_F(EntityLayer, InsertStoresTheRowAndReportsTheAssignedKey)
{
    Shelf shelf(true);
    shelf.setVar(1, "fiction", true);
    shelf.setVar(2, 40, true);
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
}

TEST_F(EntityLayer, InsertWithoutValuesTakesTheTableDefaults)
{
    Shelf shelf(true);
    EXPECT_EQ(_server.update(shelf, nullptr), 1);
    EXPECT_EQ(queryOne<std::string>("SELECT label FROM shelf"), "unnamed");
}

TEST_F(EntityLayer, InsertWithAGivenKeyKeepsIt)
{
    Shelf shelf(true);
    shelf.setPK(77, true);
    AutoIncrementVector keys;
    EXPECT_EQ(_server.update(shelf, &keys), 1);
    EXPECT_EQ(shelf.getPK(), 77);
    EXPECT_EQ(keys[0], (DataAutoIncrement{"shelf", 77, 77}));

    Shelf twin(true);
    twin.setPK(77, true);
    EXPECT_THROW(_server.update(twin, nullptr), Poco::Data::DataException)
        << "database errors reach the caller";
    EXPECT_TRUE(twin.isNew());
}

TEST_F(EntityLayer, UpdateWritesOnlyTheChangedColumns)
{
    const Int32 key = storedShelf("history", 10);
    Shelf shelf;
    _server.setWhere("id_shelf=?");
    _server.addSelectArg(key);
    ASSERT_EQ(_server.retrieve(shelf), 1u);
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

TEST_F(EntityLayer, UpdateOfARowThatIsGoneWritesNothing)
{
    Shelf shelf;
    shelf.setPK(12345, false);
    shelf.setVar(1, "ghost", true);
    EXPECT_EQ(_server.update(shelf, nullptr), 0);
    EXPECT_TRUE(shelf.isModified()) << "the change is not lost";
}

TEST_F(EntityLayer, NullColumnsRoundTrip)
{
    Shelf shelf(true);
    shelf.setVar(1, "misc", true);
    shelf.setVar(3, Poco::Dynamic::Var(), true);
    ASSERT_EQ(_server.update(shelf, nullptr), 1);
    EXPECT_EQ(queryOne<int>("SELECT COUNT(*) FROM shelf WHERE note IS NULL AND capacity IS NULL"), 1);

    Shelf read;
    _server.setWhere("id_shelf=?");
    _server.addSelectArg(shelf.getPK());
    ASSERT_EQ(_server.retrieve(read), 1u);
    EXPECT_TRUE(read.isNull(2));
    EXPECT_TRUE(read.isNull(3));
    EXPECT_EQ(read.getVar(1).convert<std::string>(), "misc");

    read.setVar(3, "dusty", true);
    ASSERT_EQ(_server.update(read, nullptr), 1);
    read.setVar(3, Poco::Dynamic::Var(), true);
    ASSERT_EQ(_server.update(read, nullptr), 1);
    EXPECT_EQ(queryOne<int>("SELECT COUNT(*) FROM shelf WHERE note IS NULL"), 1) << "set back to NULL";
}

TEST_F(EntityLayer, RetrieveOfAMissingRowLeavesTheEntityAlone)
{
    Shelf shelf(true);
    shelf.setVar(1, "unsaved", true);
    _server.setWhere("id_shelf=?");
    _server.addSelectArg(4711);
    EXPECT_EQ(_server.retrieve(shelf), 0u);
    EXPECT_TRUE(shelf.isNew());
    EXPECT_EQ(shelf.getVar(1).convert<std::string>(), "unsaved");
}

TEST_F(EntityLayer, ChildsAreTheRowsThatReferToTheParent)
{
    const Int32 mine = storedShelf("mine", 3);
    const Int32 other = storedShelf("other", 3);
    const Int32 first = storedBook(mine, "First");
    const Int32 second = storedBook(mine, "Second");
    storedBook(other, "Elsewhere");
    Shelf shelf;
    _server.setWhere("id_shelf=?");
    _server.addSelectArg(mine);
    ASSERT_EQ(_server.retrieve(shelf), 1u);

    std::map<Int32, Book> books;
    EXPECT_EQ(shelf.getChilds(_db, books, nullptr, nullptr), 2u);
    ASSERT_EQ(books.size(), 2u);
    EXPECT_EQ(books.at(first).getVar(2).convert<std::string>(), "First");
    EXPECT_EQ(books.at(second).getVar(1).convert<Int32>(), mine);

    const std::string where = "title LIKE ?";
    const Entity::Vars args{"S%"};
    std::map<Int32, Book> narrowed;
    EXPECT_EQ(shelf.getChilds(_db, narrowed, &where, &args), 1u);
    EXPECT_EQ(narrowed.count(second), 1u);
}

TEST_F(EntityLayer, ParentIsReadFromTheForeignKeyColumn)
{
    const Int32 key = storedShelf("parent", 8);
    Book book;
    book.setVar(1, key, false);
    auto pShelf = book.getParent<Shelf>(_db, 1);
    ASSERT_NE(pShelf, nullptr);
    EXPECT_EQ(pShelf->getPK(), key);
    EXPECT_EQ(pShelf->getVar(1).convert<std::string>(), "parent");

    book.setVar(1, 999, false);
    EXPECT_EQ(book.getParent<Shelf>(_db, 1), nullptr);
    book.setVar(1, Poco::Dynamic::Var(), false);
    EXPECT_EQ(book.getParent<Shelf>(_db, 1), nullptr);
}

TEST(Entity, ColumnAccessIsBoundsChecked)
{
    Shelf shelf(true);
    EXPECT_EQ(shelf.getColCount(), 4u);
    EXPECT_THROW(shelf.getVar(4), Poco::RangeException);
    EXPECT_THROW(shelf.setVar(4, 1, true), Poco::RangeException);
    EXPECT_THROW(shelf.isChanged(9), Poco::RangeException);
    Book book;
    EXPECT_THROW(shelf.copyBaseStuff(book), Poco::InvalidArgumentException);
}

TEST(Entity, StatusFollowsNewAndChangedColumns)
{
    Shelf shelf(true);
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

TEST(TeskDbSession, RunsScriptsAndChecksForeignKeys)
{
    Poco::TemporaryFile file;
    TeskDbSession db(file.path());
    db.executeScript(SCHEMA);
    EXPECT_EQ(db.getFileName(), file.path());
    EXPECT_THROW((db << "INSERT INTO book (id_shelf, title) VALUES (5, 'orphan')", now),
                 Poco::Data::DataException);
    EXPECT_THROW(db.executeScript("CREATE TABLE x (a INTEGER); THIS IS NOT SQL;"), Poco::Data::DataException);
    int tables = -1;
    db << "SELECT COUNT(*) FROM sqlite_master WHERE name='x'", into(tables), now;
    EXPECT_EQ(tables, 0) << "a failing script leaves nothing behind";
}
