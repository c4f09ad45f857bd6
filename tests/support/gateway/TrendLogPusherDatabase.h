#pragma once

#include <Poco/Nullable.h>
#include <Poco/Types.h>

#include <string>

#include "TestDatabase.h"

namespace Orvik::Test
{

/// The configuration database of a gateway that runs the trend log pusher: a TestDatabase in the file at
/// `path` (the schema defines app 500 and its parameters) with one instance of app 500. An existing file
/// is opened as it is, so that a restarted gateway finds what the previous one stored.
class TrendLogPusherDatabase : public TestDatabase
{
public:
    static constexpr Poco::Int32 _ID_AP_APP = 500;
    static constexpr Poco::Int32 _INSTANCE = 1;
    static constexpr Poco::Int32 _POSITIONS = 43;
    static constexpr Poco::Int32 _EXCLUDED = 44;

    explicit TrendLogPusherDatabase(const std::string& path) : TestDatabase(path)
    {
        exec(
            "INSERT OR IGNORE INTO ap_app_instance (id_ap_app_instance,id_ap_app,id_dv_controller,"
            "instance_nr,name,start_at_startup) VALUES(1,500,1,1,'trend log pusher',1)");
    }

    /// Stores the text `value` for parameter number `id` of the instance (NULL when null).
    void setParameter(Poco::Int32 id, const Poco::Nullable<std::string>& value)
    {
        storeValue(_INSTANCE, parameterKey(_ID_AP_APP, id), value);
    }
    /// The stored text of parameter number `id`; null when none is stored or it is NULL.
    Poco::Nullable<std::string> storedParameter(Poco::Int32 id)
    {
        return storedValue(_INSTANCE, parameterKey(_ID_AP_APP, id));
    }
    /// The parameters of a test gateway: the FTP server at `serverURL` with `user`/`password`, uploads
    /// into `directory`, search mode `collect` (0 list, 1 own device, 2 network), markup `language`
    /// (0 XML, 1 JSON), formatted, no search after the first.
    void configure(const std::string& serverURL, const std::string& user, const std::string& password,
                   const std::string& directory, int collect, int language)
    {
        const std::pair<Poco::Int32, std::string> values[] = {
            {1, "17"},      {2, "site-7"},   {3, "Test Site"},
            {4, "TST"},     {5, "zumbra"},   {6, std::to_string(language)},
            {7, "0b01"},    {13, serverURL}, {14, user},
            {15, password}, {16, directory}, {17, std::to_string(collect)},
            {18, "0"}};
        for (const auto& [id, text] : values)
            setParameter(id, text);
    }
};

}  // namespace Orvik::Test
