#include "Orvik_ZARoveDore/Demo/AppRP_OneShot.h"

#include <Poco/Thread.h>

#include <iostream>
#include <sstream>
#include <vector>

namespace Orvik::BACnet::App
{

AppRP_OneShot::AppRP_OneShot(Poco::Int32 idAppInstance, long startDelayMs)
    : AppBase(idAppInstance), _startDelayMs(startDelayMs)
{
}

bool AppRP_OneShot::descRun()
{
    Poco::Thread::sleep(_startDelayMs);
    std::vector<ValueContainer> parameters;
    const Client::DataPropertyKey key(getProperties(parameters), 0);
    ValueContainer value;
    DataError error;
    switch (syncRP(key, value, &error))
    {
        case SYNC_RESULT_SUCCESS:
            printResult(key, &value, nullptr);
            break;
        case SYNC_RESULT_FAIL:
            printResult(key, nullptr, &error);
            break;
        case SYNC_RESULT_STOP:
            break;
    }
    return false;
}

void AppRP_OneShot::printResult(const Client::DataPropertyKey& key, const ValueContainer* value,
                                const DataError* error) const
{
    // Apps print side by side: each block goes out in one write.
    std::ostringstream out;
    out << '\n' << appName() << ", Device " << key.deviceInstance << ":\n";
    printObjectHeader(out, key.objectIdentifier, "\t");
    printPropertyHeader(out, key.getObjectType(), Client::DataPropertyRef(key.propertyRef.propertyIdentifier),
                        "\t\t");
    if (value != nullptr)
        printPropertyValue(out, *value, "\t\t\t");
    out << '\n';
    std::cout << out.str() << std::flush;
    if (value == nullptr && error != nullptr)
    {
        std::ostringstream errorText;
        printError(errorText, *error, "\t");
        std::cerr << errorText.str() << std::flush;
    }
}

const std::string& AppRP_OneShot::appName() const
{
    static const std::string name = "AppRP_OneShot";
    return name;
}

}  // namespace Orvik::BACnet::App
