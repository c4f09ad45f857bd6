#pragma once

#include "Orvik_BACnet/PropertyDatatypeTable.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetDevice/LogStore.h"
#include "Orvik_BACnetDevice/SimulatedFault.h"
#include "Orvik_BACnetDevice/Site.h"
#include "SimulatedLogSeries.h"
#include "SimulatedPoint.h"
#include "SimulatedTrendLog.h"

#include <Poco/Dynamic/Var.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>
#include <Poco/Timestamp.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvik::BACnet::Device
{

class SimulatedDevice;

/// Builds a Site from a site file (JSON; the format is described in sites/README.md).
///
/// Everything is checked: a value of the wrong JSON type (true is not a number, null is no value, 1.5
/// is not a whole number), an unknown object type, property, unit or error name, a duplicate device or
/// object, a reference in a bad form, a number out of range (whole numbers beyond 64 bits included,
/// which the JSON parser alone would wrap around), a text that is not UTF-8, a folder instead of a
/// file. The first problem ends the reading with Poco::DataFormatException, whose message names the
/// file, the place and what was expected ("demo.json: devices[1].objects[3].log.intervalSeconds: 0 is
/// out of range 0.01 to 100000000", the number given named; an integer beyond 64 bits as written, its first
/// 20 characters when longer); bytes that are not UTF-8 are placed by line and column. The message is
/// printable ASCII: a byte that the JSON parser quotes is written "\xNN". A file that does not exist or
/// cannot be opened gives Poco's file exception, which names it.
class SiteFileReader
{
public:
    /// With `ownDeviceInstance`: the site of a program's own device only (Site::loadOwnDevice). Trend
    /// logs with a `record` member are added to `pStore`; without a store they are refused.
    static std::unique_ptr<Site> readFile(const std::string& path,
                                          std::optional<Poco::UInt32> ownDeviceInstance = std::nullopt,
                                          std::shared_ptr<LogStore> pStore = nullptr);
    static std::unique_ptr<Site> readText(const std::string& text, const std::string& origin,
                                          std::optional<Poco::UInt32> ownDeviceInstance = std::nullopt,
                                          std::shared_ptr<LogStore> pStore = nullptr);

private:
    SiteFileReader(const std::string& origin, const Poco::Timestamp& loadTime,
                   std::optional<Poco::UInt32> ownDeviceInstance, std::shared_ptr<LogStore> pStore);

    std::unique_ptr<Site> readSite(const Poco::JSON::Object::Ptr& pSite);
    using Devices = std::vector<std::unique_ptr<SimulatedDevice>>;

    /// The routed networks' links (`networks`), of networks that the file's devices are on.
    void readNetworks(Site& site, const Poco::JSON::Object::Ptr& pSite, const Devices& devices);
    std::unique_ptr<SimulatedDevice> readDevice(const Poco::JSON::Object::Ptr& pDevice, std::size_t index,
                                                const std::string& at);
    void readFaults(SimulatedDevice& device, const Poco::JSON::Object::Ptr& pFaults, const std::string& at);
    SimulatedFault readFault(const Poco::JSON::Object::Ptr& pFault, const std::string& at);
    void readPoint(SimulatedDevice& device, const Poco::JSON::Object::Ptr& pObject, const std::string& at);
    SimulatedPoint::Sensor readSensor(const Poco::JSON::Object::Ptr& pObject, BACNET_OBJECT_TYPE type,
                                      bool valueFromElsewhere, const std::string& at);
    DataType::ObjectIdentifier identifierOf(const Poco::JSON::Object::Ptr& pObject, const std::string& at);

    void readLinkedObject(SimulatedDevice& device, const Devices& devices,
                          const Poco::JSON::Object::Ptr& pObject, const std::string& at);
    /// A trend log that the program records itself (`record`).
    std::unique_ptr<SimulatedObject> readRecordedLog(const SimulatedDevice& device,
                                                     const DataType::ObjectIdentifier& identifier,
                                                     const std::string& name,
                                                     const Poco::JSON::Object::Ptr& pObject,
                                                     const std::string& at);
    std::vector<SimulatedTrendLog::Channel> readChannels(const Devices& devices,
                                                         const Poco::JSON::Object::Ptr& pObject,
                                                         bool multiple, const std::string& at);
    BACnetDataType loggedDataType(const Devices& devices, Poco::UInt32 ownDevice,
                                  const DataType::BACnetDeviceObjectPropertyReference& reference) const;
    SimulatedLogSeries::Settings readSeries(const Poco::JSON::Object::Ptr& pObject, BACnetDataType dataType,
                                            const std::string& at);
    void readProperties(SimulatedObject& object, const Poco::JSON::Object::Ptr& pObject,
                        const std::string& at);

    BACnetValue presentValueOf(BACNET_OBJECT_TYPE type, const Poco::Dynamic::Var& value,
                               const std::string& at);
    ValueContainer propertyValue(BACNET_OBJECT_TYPE type, BACNET_PROPERTY_ID property,
                                 const Poco::Dynamic::Var& value, const std::string& at);
    BACnetValue elementValue(const PropertyDatatype& datatype, const Poco::Dynamic::Var& value,
                             const std::string& at);
    DataType::BitString bitString(const Poco::Dynamic::Var& value, const std::string& at);
    DataType::ObjectIdentifier objectIdentifier(const std::string& text, const std::string& at);
    DataType::BACnetDeviceObjectPropertyReference reference(const Poco::Dynamic::Var& value,
                                                            const std::string& at);
    BACNET_PROPERTY_ID propertyIdentifier(const std::string& name, const std::string& at);
    Poco::UInt32 enumeration(const std::string& enumeration, const Poco::Dynamic::Var& value,
                             const std::string& at);

    std::string text(const Poco::JSON::Object::Ptr& pObject, const std::string& key,
                     const std::string& fallback, const std::string& at);
    /// A member that is a number in [minimum, maximum] (absent: `fallback`).
    double number(const Poco::JSON::Object::Ptr& pObject, const std::string& key, double fallback,
                  double minimum, double maximum, const std::string& at);
    /// A member that is a whole number in [minimum, maximum] (absent: `fallback`).
    Poco::UInt64 wholeNumber(const Poco::JSON::Object::Ptr& pObject, const std::string& key,
                             Poco::UInt64 fallback, Poco::UInt64 minimum, Poco::UInt64 maximum,
                             const std::string& at);
    Poco::UInt64 unsignedNumber(const Poco::Dynamic::Var& value, Poco::UInt64 minimum, Poco::UInt64 maximum,
                                const std::string& at);
    Poco::Int64 signedNumber(const Poco::Dynamic::Var& value, const std::string& at);
    /// A number that a REAL holds.
    float realNumber(const Poco::Dynamic::Var& value, const std::string& at);
    bool flag(const Poco::JSON::Object::Ptr& pObject, const std::string& key, bool fallback,
              const std::string& at);
    Poco::JSON::Object::Ptr object(const Poco::JSON::Object::Ptr& pParent, const std::string& key,
                                   const std::string& at);
    Poco::JSON::Array::Ptr array(const Poco::JSON::Object::Ptr& pParent, const std::string& key,
                                 const std::string& at);
    /// Refuses `value`, named as the file gives it (shortened when long), for lying outside `range`.
    [[noreturn]] void outOfRange(const Poco::Dynamic::Var& value, const std::string& range,
                                 const std::string& at) const;
    [[noreturn]] void fail(const std::string& at, const std::string& message) const;

    const std::string _origin;
    const Poco::Timestamp _loadTime;
    Poco::UInt32 _deviceIndex = 0;
    const std::optional<Poco::UInt32> _ownDeviceInstance;
    const std::shared_ptr<LogStore> _pStore;
    /// The file's one device is the program's own: it takes `_ownDeviceInstance`.
    bool _renameOnlyDevice = false;
    /// The file's integer literals beyond 64 bits, by the floating-point number each is read as.
    std::map<double, std::string> _hugeLiterals;
};

}  // namespace Orvik::BACnet::Device
