#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterNames.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

std::string PusherParameterNames::describe(Poco::Int32 number)
{
    static const char* const names[] = {"",
                                        "parent identifier",
                                        "site identifier",
                                        "site name",
                                        "file name initials",
                                        "server user id",
                                        "markup language",
                                        "markup flags",
                                        "period",
                                        "offset",
                                        "retry count",
                                        "retry wait",
                                        "push method",
                                        "FTP server",
                                        "FTP user",
                                        "FTP password",
                                        "FTP directory",
                                        "trend logs from",
                                        "search interval"};
    return "parameter " + std::to_string(number) + " (" + names[number] + ")";
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
