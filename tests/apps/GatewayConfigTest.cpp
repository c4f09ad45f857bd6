// The configuration command of the gateway program as an integrator uses it: a whole round of
// changes with export and import, and every refusal of bad input leaving the database untouched.
#include <gtest/gtest.h>

#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Path.h>
#include <Poco/StreamCopier.h>
#include <Poco/StringTokenizer.h>
#include <Poco/TemporaryFile.h>

#include <unistd.h>

#include "ChildProcess.h"

namespace
{

const int EXIT_BOUND_MS = 60000;

std::string readFile(const std::string& path)
{
    Poco::FileInputStream in(path);
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    return text;
}

void writeFile(const std::string& path, const std::string& text)
{
    Poco::FileOutputStream out(path);
    out << text;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

struct Result
{
    int code = -1;
    std::string out;
    std::string err;
};

class GatewayConfigTest : public testing::Test
{
protected:
    GatewayConfigTest() { _folder.createDirectories(); }

    std::string pathOf(const std::string& name) const
    {
        return Poco::Path(_folder.path()).append(name).toString();
    }

    /// Runs `orvik-gateway config --database=<database> <args>`; `asOtherUser` runs it as nobody, who
    /// may read the test's files but not write them.
    Result config(const std::vector<std::string>& args, const std::string& database = "",
                  bool asOtherUser = false) const
    {
        const Poco::StringTokenizer words(ORVIK_GATEWAY_COMMAND, "|",
                                          Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        std::vector<std::string> command;
        if (asOtherUser)
            command = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        command.insert(command.end(), words.begin(), words.end());
        command.push_back("config");
        command.push_back("--database=" + (database.empty() ? _database : database));
        command.insert(command.end(), args.begin(), args.end());
        Orvik::Test::ChildProcess process(command.front(), {command.begin() + 1, command.end()});
        Result result;
        result.code = process.wait(EXIT_BOUND_MS);
        // The readers see the end of both streams soon after the program's end.
        const auto never = [](const std::vector<std::string>&) { return false; };
        process.waitFor(Orvik::Test::ChildProcess::Stream::OUTPUT, never, EXIT_BOUND_MS);
        process.waitFor(Orvik::Test::ChildProcess::Stream::ERROR, never, EXIT_BOUND_MS);
        result.out = joined(process.lines(Orvik::Test::ChildProcess::Stream::OUTPUT));
        result.err = process.errorText();
        return result;
    }

    Poco::TemporaryFile _folder;
    const std::string _database = pathOf("config.db");
};

TEST_F(GatewayConfigTest, ConfigurationIsChangedByNameExportedAndImportedIntoAnotherGateway)
{
    ASSERT_EQ(
        config({"add", "AppTrendLogPusher", "--name=Uploads", "period=5", "ftp-server=ftp://ftp.example.com",
                "excluded=[device:7/trend-log:3, device:9/device:9]"})
            .code,
        0);
    ASSERT_EQ(config({"add", "appwhois", "--name", "Who-Is", "--disabled"}).code, 0);
    ASSERT_EQ(config({"set", "Uploads", "site-name=Hall \"A\"", "period=1"}).code, 0);
    ASSERT_EQ(config({"enable", "Who-Is"}).code, 0);

    const Result shown = config({"show", "Uploads"});
    EXPECT_NE(shown.out.find("Uploads (id 1): AppTrendLogPusher, enabled"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("period             = 1\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("retry-count        = 3  (default)"), std::string::npos) << shown.out;
    // Lists are stored in the grammar's own form, whatever blanks were typed.
    EXPECT_NE(shown.out.find("excluded           = [device:7/trend-log:3, device:9/device:9]"),
              std::string::npos)
        << shown.out;

    ASSERT_EQ(config({"export", pathOf("site.json")}).code, 0);
    const std::string document = readFile(pathOf("site.json"));
    EXPECT_NE(document.find(R"("site-name": "Hall \"A\"")"), std::string::npos) << document;
    EXPECT_EQ(document.find("retry-count"), std::string::npos) << "defaults are not exported";

    const std::string other = pathOf("other.db");
    ASSERT_EQ(config({"--database", other, "add", "AppRR", "--name=Leftover"}).code, 0);  // space form
    const Result imported = config({"import", pathOf("site.json")}, other);
    ASSERT_EQ(imported.code, 0) << imported.err;
    ASSERT_EQ(config({"export", pathOf("again.json")}, other).code, 0);
    EXPECT_EQ(readFile(pathOf("again.json")), document);

    ASSERT_EQ(config({"remove", "Who-Is"}).code, 0);
    EXPECT_EQ(config({"show"}).out.find("Who-Is"), std::string::npos);
}

TEST_F(GatewayConfigTest, BadInputIsRefusedWithOneClearMessageAndTheDatabaseUnchanged)
{
    ASSERT_EQ(config({"add", "AppTrendLogPusher", "--name=Uploads", "period=5"}).code, 0);
    writeFile(pathOf("not-json.json"), "{\"instances\": [ {\"name\": ");
    writeFile(pathOf("twice.json"), R"({"instances": [{"name": "A", "app": "AppWhoIs",
                                       "parameters": {"low-limit": "1", "low-limit": "2"}}]})");
    writeFile(pathOf("halfway.json"), R"({"instances": [{"name": "A", "app": "AppWhoIs"},
                                          {"name": "B", "app": "AppWhoIs", "parameters": {"high-limit": "-3"}}]})");
    writeFile(pathOf("not-a-database.db"), "site notes, not a database\n");

    struct Case
    {
        const char* what;
        std::vector<std::string> args;
        std::string expected;
        std::string database;
        bool asOtherUser;
    };
    const std::vector<Case> cases = {
        {"unknown app", {"add", "AppTeleport", "--name=T"}, "Unknown app 'AppTeleport'", "", false},
        {"unknown parameter",
         {"set", "Uploads", "colour=red"},
         "app AppTrendLogPusher has no parameter 'colour'",
         "",
         false},
        {"wrong type",
         {"set", "Uploads", "period=soon"},
         "Instance 'Uploads', parameter 'period': expected an unsigned whole number, for example 15; given "
         "'soon'",
         "",
         false},
        {"list where one value goes",
         {"set", "Uploads", "site-name=[a, b]"},
         "parameter 'site-name'",
         "",
         false},
        {"duplicate instance name",
         {"add", "AppWhoIs", "--name=Uploads"},
         "already has an instance named 'Uploads'",
         "",
         false},
        {"unknown instance", {"remove", "Downloads"}, "No instance 'Downloads'", "", false},
        {"name with a line break",
         {"add", "AppWhoIs", "--name=Up\nloads"},
         "Instance name: expected up to 64 characters",
         "",
         false},
        {"text the app would refuse at its start",
         {"set", "Uploads", "file-name-initials=A\r\nDELE x"},
         "parameter 'file-name-initials': expected a text of up to 200 octets without CR, LF",
         "",
         false},
        {"file name initials too long for a file name",
         {"set", "Uploads", "file-name-initials=" + std::string(201, 'A')},
         "is longer than 200 octets",
         "",
         false},
        {"import not JSON", {"import", pathOf("not-json.json")}, "Not a JSON document", "", false},
        {"import naming a parameter twice",
         {"import", pathOf("twice.json")},
         "\"low-limit\" is named twice",
         "",
         false},
        {"import failing halfway",
         {"import", pathOf("halfway.json")},
         "Instance 'B', parameter 'high-limit'",
         "",
         false},
        {"not a configuration database",
         {"show"},
         "is not a configuration database",
         pathOf("not-a-database.db"),
         false},
        {"read-only database",
         {"set", "Uploads", "period=7"},
         "Cannot write the configuration database",
         "",
         true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::string database = c.database.empty() ? _database : c.database;
        const std::string before = readFile(database);
        if (c.asOtherUser && ::geteuid() != 0)
            Poco::File(database).setWriteable(false);
        const Result result = config(c.args, database, c.asOtherUser && ::geteuid() == 0);
        Poco::File(database).setWriteable(true);
        EXPECT_GT(result.code, 0);
        EXPECT_NE(result.err.find(c.expected), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(readFile(database), before);
    }
}

}  // namespace
