// An existing configuration database meets a newer gateway: it gains the apps and parameters the
// newer version ships, and what it stores stays as it was.
#include "ConfigurationDatabase.h"
#include "Orvik_Utility/Data/TeskDbSession.h"

#include <Poco/Data/Session.h>
#include <Poco/TemporaryFile.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Poco::Data::Keywords;
using Orvik::Gateway::ConfigurationDatabase;

namespace
{

const std::string CATALOGUE = ORVIK_SOURCE_DIR "/db/apps.sql";
const std::vector<std::string> CREATION = {ORVIK_SOURCE_DIR "/db/schema.sql", CATALOGUE};

std::string text(const std::string& query)
{
    std::string value;
    *Orvik::Utility::Data::pDB << query, into(value), now;
    return value;
}

int count(const std::string& query)
{
    return std::stoi(text("SELECT CAST(COUNT(*) AS TEXT) FROM " + query));
}

}  // namespace

TEST(ConfigurationDatabaseTest, AnOlderDatabaseGainsTheAppsAndParametersOfThisVersionAndKeepsItsOwn)
{
    Poco::TemporaryFile file;
    int bridgeRows = 0;
    {
        const ConfigurationDatabase made(file.path(), CREATION, CATALOGUE);
        ASSERT_TRUE(made.wasCreated());
        bridgeRows = count("ap_app_property WHERE id_ap_app=503");
        // What an earlier version left: no MQTT bridge, the cloud bridge without its last parameter, an
        // instance with a stored value, and a default changed by the site's own tools.
        Orvik::Utility::Data::TeskDbSession& session = *Orvik::Utility::Data::pDB;
        session << "DELETE FROM ap_app WHERE id_ap_app=503", now;
        session << "DELETE FROM ap_app_property WHERE id_ap_app_property=50214", now;
        session
            << "INSERT INTO ap_app_instance (id_ap_app_instance, id_ap_app, id_dv_controller, instance_nr, "
               "name, start_at_startup) VALUES (7, 502, 1, 1, 'Cloud', 1)",
            now;
        session << "INSERT INTO ap_app_property_instance (id_ap_app_instance, id_ap_app_property, value) "
                   "VALUES (7, 50201, 'siteorg')",
            now;
        session << "UPDATE ap_app_property SET default_value='42' WHERE id_ap_app_property=50213", now;
    }
    {
        const ConfigurationDatabase opened(file.path(), CREATION, CATALOGUE);
        EXPECT_FALSE(opened.wasCreated());
        EXPECT_EQ(opened.catalogueRowsAdded(), 1 + bridgeRows + 1);
        EXPECT_EQ(count("ap_app WHERE id_ap_app=503"), 1);
        EXPECT_EQ(count("ap_app_property WHERE id_ap_app_property=50214"), 1);
        EXPECT_EQ(text("SELECT value FROM ap_app_property_instance WHERE id_ap_app_instance=7"), "siteorg");
        EXPECT_EQ(text("SELECT default_value FROM ap_app_property WHERE id_ap_app_property=50213"), "42");
    }
    const ConfigurationDatabase again(file.path(), CREATION, CATALOGUE);
    EXPECT_EQ(again.catalogueRowsAdded(), 0);
}
