#include "DataFiles.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Path.h>

#include <vector>

namespace Orvik::Gateway
{

DataFiles::DataFiles(const std::string& folder, const std::string& programFolder)
{
    std::vector<std::string> candidates;
    if (!folder.empty())
        candidates.push_back(folder);
    else
    {
        candidates.push_back(Poco::Path(programFolder).parent().append("share/orvik-gateway").toString());
        candidates.push_back(ORVIK_SOURCE_DATA_DIR);
    }
    for (const std::string& candidate : candidates)
    {
        if (holdsSchema(candidate))
        {
            _folder = candidate;
            return;
        }
    }
    throw Poco::FileNotFoundException("No data folder with db/schema.sql found (looked in " +
                                      candidates.front() + (candidates.size() > 1 ? " and others)" : ")"));
}

bool DataFiles::holdsSchema(const std::string& folder)
{
    return Poco::File(Poco::Path(folder).append("db/schema.sql")).exists();
}

std::string DataFiles::schema() const
{
    return Poco::Path(_folder).append("db/schema.sql").toString();
}

std::string DataFiles::appCatalogue() const
{
    return Poco::Path(_folder).append("db/apps.sql").toString();
}

std::string DataFiles::demoConfiguration() const
{
    return Poco::Path(_folder).append("db/demo.sql").toString();
}

std::string DataFiles::demoSite() const
{
    return Poco::Path(_folder).append("sites/demo.json").toString();
}

std::string DataFiles::localDevice() const
{
    return Poco::Path(_folder).append("sites/local-device.json").toString();
}

std::string DataFiles::scripts() const
{
    return Poco::Path(_folder).append("scripts").toString();
}

}  // namespace Orvik::Gateway
