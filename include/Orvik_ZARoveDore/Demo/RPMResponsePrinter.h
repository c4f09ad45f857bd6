#pragma once

#include <string>
#include <vector>

#include "Orvik_BACnetClient/DataResponseRPM.h"

namespace Orvik::BACnet::App
{

/// Prints the objects of a ReadPropertyMultiple answer in the diagnostic apps' console format: per
/// object its header (one tab), per property its header (two tabs) and then its value on standard
/// output or its error on standard error (three tabs each), in the order of the answer. Apps print
/// side by side, so each stream gets the whole block in one write and no other app's line lands in it.
class RPMResponsePrinter
{
public:
    /// `heading` goes first on standard output; `skipDeviceAddressBinding` leaves out the
    /// device-address-binding property of device objects.
    static void print(const std::string& heading, const std::vector<Client::DataResponseRPM>& responses,
                      bool skipDeviceAddressBinding);
};

}  // namespace Orvik::BACnet::App
