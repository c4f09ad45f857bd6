#include "TrendLogPusherDatabase.h"

namespace Orvik::Test
{

TrendLogPusherDatabase::TrendLogPusherDatabase(const std::string& path) : TestDatabase(path)
{
    exec(
        "INSERT OR IGNORE INTO ap_app_instance (id_ap_app_instance,id_ap_app,id_dv_controller,instance_nr,"
        "name,start_at_startup) VALUES(" +
        std::to_string(_INSTANCE) + "," + std::to_string(_ID_AP_APP) + ",1,1,'trend log pusher',1)");
}

void TrendLogPusherDatabase::configure(const std::string& serverURL, const std::string& user,
                                       const std::string& password, const std::string& directory, int collect,
                                       int language)
{
    const std::pair<Poco::Int32, std::string> values[] = {
        {1, "17"},      {2, "site-7"},   {3, "Test Site"},
        {4, "TST"},     {5, "zumbra"},   {6, std::to_string(language)},
        {7, "0b01"},    {13, serverURL}, {14, user},
        {15, password}, {16, directory}, {17, std::to_string(collect)},
        {18, "0"}};
    for (const auto& [id, text] : values)
    {
        setParameter(id, text);
    }
}

}  // namespace Orvik::Test
