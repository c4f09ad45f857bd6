#pragma once

#include <string>
#include <vector>

#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

/// Diagnostic app (app number 5): finds every device with a global Who-Is and prints, for each
/// device that answers, its address and then every property of every object in its object list
/// (ReadPropertyMultiple, two objects per request). Reads no parameters; never asks for a restart.
///
/// Devices are read one after another, each completely before the next I-Am is looked at (the I-Ams
/// wait in the app's queue meanwhile). Failed reads are printed on standard error and skipped. The
/// end of the Who-Is answer window prints "AppBrowser FINISHED "; a stop request ends the app
/// without further output, also in the middle of a device.
class AppBrowser : public AppBase
{
public:
    /// Objects per ReadPropertyMultiple request.
    static constexpr std::size_t maxObjectsInOneRequest = 2;

    explicit AppBrowser(Poco::Int32 aIdAppInstance);

    bool descRun() override;

    /// Reads the object list of device `deviceObjectInstance` and prints all properties of its
    /// objects. A stop request during a read ends the walk at once.
    void ReadDevice(Poco::UInt32 deviceObjectInstance);

    /// Prints the objects of one ReadPropertyMultiple answer, without a device's address binding.
    void printResult(Poco::UInt32 deviceObjectInstance,
                     const std::vector<Client::DataResponseRPM>& values) const;

    /// "AppBrowser".
    const std::string& appName() const;

private:
    void printDevice(const Client::DataResponseWhoIs& iAm) const;
    void printEnd(const DataError& error) const;
    void readObjects(Poco::UInt32 deviceObjectInstance, const std::vector<BACnetValue>& objects);
};

}  // namespace Orvik::BACnet::App
