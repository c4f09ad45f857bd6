#include "SiteFileReader.h"

#include "Orvik_BACnet/ObjectTypeTraits.h"
#include "Orvik_BACnet/ProtocolText.h"
#include "RecordedTrendLog.h"
#include "SimulatedDevice.h"
#include "SimulatedPoint.h"

#include <Poco/DateTime.h>
#include <Poco/DateTimeParser.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/JSON/Parser.h>
#include <Poco/NumberFormatter.h>
#include <Poco/NumberParser.h>
#include <Poco/StreamCopier.h>
#include <Poco/StringTokenizer.h>
#include <Poco/UTF8Encoding.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <sstream>

namespace Orvik::BACnet::Device
{

namespace
{

const Poco::UInt16 FIRST_PORT = 47808;
const Poco::UInt64 UNSIGNED_MAX = std::numeric_limits<Poco::UInt64>::max();
const Poco::Int64 SIGNED_MIN = std::numeric_limits<Poco::Int64>::min();
const Poco::Int64 SIGNED_MAX = std::numeric_limits<Poco::Int64>::max();
/// A value named in a message is cut after this many characters.
const std::size_t MAX_GIVEN_CHARACTERS = 20;

std::string indexed(const std::string& at, const std::string& key, std::size_t index)
{
    return at + "." + key + "[" + Poco::NumberFormatter::format(index) + "]";
}

bool isLinkedType(BACNET_OBJECT_TYPE type)
{
    return ObjectTypeTraits::isTrendLog(type) || type == OBJECT_STRUCTURED_VIEW;
}

bool hasUnits(BACNET_OBJECT_TYPE type)
{
    return !ObjectTypeTraits::isBinary(type) && !ObjectTypeTraits::isMultiState(type);
}

bool hasRealValue(BACNET_OBJECT_TYPE type)
{
    return ObjectTypeTraits::isAnalog(type) || type == OBJECT_PULSE_CONVERTER;
}

bool isLoggable(BACnetDataType dataType)
{
    return dataType == BACNET_DT_REAL || dataType == BACNET_DT_ENUMERATED || dataType == BACNET_DT_BOOLEAN ||
           dataType == BACNET_DT_UNSIGNED || dataType == BACNET_DT_SIGNED;
}

bool isArray(const Poco::Dynamic::Var& value)
{
    return value.type() == typeid(Poco::JSON::Array::Ptr);
}

bool isObject(const Poco::Dynamic::Var& value)
{
    return value.type() == typeid(Poco::JSON::Object::Ptr);
}

ValueContainer single(const BACnetValue& value)
{
    ValueContainer container;
    container.setValue(value);
    return container;
}

/// A JSON number (booleans are numbers to Poco::Dynamic::Var, not here).
bool isNumber(const Poco::Dynamic::Var& value)
{
    return !value.isEmpty() && value.isNumeric() && !value.isBoolean();
}

/// True for an integer literal ("-"? digits) beyond what 64 bits hold: below -2^63 or above 2^64 - 1.
bool isBeyond64Bits(const std::string& literal)
{
    const bool negative = !literal.empty() && literal[0] == '-';
    const std::string digits = literal.substr(negative ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::string trimmed = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
    const std::string limit = negative ? "9223372036854775808" : "18446744073709551615";
    return trimmed.size() > limit.size() || (trimmed.size() == limit.size() && trimmed > limit);
}

/// The JSON text with every integer literal beyond 64 bits given the exponent "e0". The JSON parser
/// wraps such integers around (2^64 becomes 0); as floating-point numbers they keep their size and are
/// refused wherever a whole number of a given range is expected. `literals` gets each such literal as
/// written, by the number it reads as, so that a refusal names what the file says.
std::string withHugeIntegersAsFloats(const std::string& text, std::map<double, std::string>& literals)
{
    std::string result;
    result.reserve(text.size());
    std::size_t position = 0;
    while (position < text.size())
    {
        std::size_t end = position + 1;
        const char c = text[position];
        if (c == '"')
        {
            while (end < text.size() && text[end] != '"')
                end += text[end] == '\\' ? 2 : 1;
            end = std::min(end + 1, text.size());
        }
        else if (c == '-' || std::isdigit(static_cast<unsigned char>(c)))
        {
            while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) ||
                                         std::string(".eE+-").find(text[end]) != std::string::npos))
                ++end;
        }
        const std::string literal = text.substr(position, end - position);
        result += literal;
        if (literal.size() > 19 && isBeyond64Bits(literal))
        {
            result += "e0";
            literals.emplace(std::strtod(literal.c_str(), nullptr), literal);
        }
        position = end;
    }
    return result;
}

/// The text with every byte but printable ASCII written as "\xNN": the JSON parser's messages quote the
/// offending byte as it is (the end of the text as 0xFF), which would make the message itself not UTF-8.
std::string asciiOnly(const std::string& text)
{
    std::string result;
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            result += c;
        else
            result += "\\x" + Poco::NumberFormatter::formatHex(static_cast<unsigned>(byte), 2);
    }
    return result;
}

/// A text of the file as a message quotes it: printable ASCII only and at most its first 40 bytes, so
/// that a CR/LF or a long value of the file never reaches a log line as it is.
std::string quoted(const std::string& text)
{
    const std::size_t shown = 40;
    if (text.size() <= shown)
        return "\"" + asciiOnly(text) + "\"";
    return "\"" + asciiOnly(text.substr(0, shown)) + "\" (the first " + Poco::NumberFormatter::format(shown) +
           " of " + Poco::NumberFormatter::format(text.size()) + " bytes)";
}

/// The place of the first byte that is not part of UTF-8 text, as "line <n>, column <byte in the line>";
/// empty when the whole text is UTF-8.
std::string firstNonUtf8(const std::string& text)
{
    Poco::UTF8Encoding utf8;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    std::size_t position = 0;
    while (position < text.size())
    {
        const int length = utf8.sequenceLength(bytes + position, static_cast<int>(text.size() - position));
        if (length <= 0 || position + static_cast<std::size_t>(length) > text.size() ||
            !Poco::UTF8Encoding::isLegal(bytes + position, length))
        {
            return "line " + Poco::NumberFormatter::format(line) + ", column " +
                   Poco::NumberFormatter::format(position - lineStart + 1) + " (byte 0x" +
                   Poco::NumberFormatter::formatHex(static_cast<unsigned>(bytes[position]), 2) + ")";
        }
        if (text[position] == '\n')
        {
            ++line;
            lineStart = position + 1;
        }
        position += static_cast<std::size_t>(length);
    }
    return "";
}

}  // namespace

std::unique_ptr<Site> SiteFileReader::readFile(const std::string& path,
                                               std::optional<Poco::UInt32> ownDeviceInstance,
                                               std::shared_ptr<LogStore> pStore)
{
    const SiteFileReader reader(path, Poco::Timestamp(), std::nullopt, nullptr);
    // A folder opens like a file and reads as nothing at all.
    if (!path.empty() && Poco::File(path).exists() && Poco::File(path).isDirectory())
        reader.fail("", "a folder, not a site file");
    Poco::FileInputStream stream(path);
    std::string text;
    Poco::StreamCopier::copyToString(stream, text);
    if (stream.bad())
        reader.fail("", "the file cannot be read");
    return readText(text, path, ownDeviceInstance, std::move(pStore));
}

std::unique_ptr<Site> SiteFileReader::readText(const std::string& text, const std::string& origin,
                                               std::optional<Poco::UInt32> ownDeviceInstance,
                                               std::shared_ptr<LogStore> pStore)
{
    SiteFileReader reader(origin, Poco::Timestamp(), ownDeviceInstance, std::move(pStore));
    const std::string badByte = firstNonUtf8(text);
    if (!badByte.empty())
        reader.fail(badByte, "not UTF-8 text; a site file is JSON in UTF-8");
    Poco::Dynamic::Var root;
    try
    {
        root = Poco::JSON::Parser().parse(withHugeIntegersAsFloats(text, reader._hugeLiterals));
    }
    catch (const Poco::Exception& e)
    {
        reader.fail("", "not valid JSON: " + asciiOnly(e.message()));
    }
    if (!isObject(root))
        reader.fail("", "the site is not a JSON object");
    return reader.readSite(root.extract<Poco::JSON::Object::Ptr>());
}

SiteFileReader::SiteFileReader(const std::string& origin, const Poco::Timestamp& loadTime,
                               std::optional<Poco::UInt32> ownDeviceInstance,
                               std::shared_ptr<LogStore> pStore)
    : _origin(origin), _loadTime(loadTime), _ownDeviceInstance(ownDeviceInstance), _pStore(std::move(pStore))
{
}

std::unique_ptr<Site> SiteFileReader::readSite(const Poco::JSON::Object::Ptr& pSite)
{
    auto pResult = std::make_unique<Site>();
    pResult->setTickMs(
        static_cast<Poco::UInt32>(wholeNumber(pSite, "tickMs", Site::_DEFAULT_TICK_MS, 1, 60000, "")));
    const Poco::JSON::Array::Ptr pDevices = array(pSite, "devices", "");
    // A program's own device: the one device of the file takes the program's instance.
    _renameOnlyDevice = _ownDeviceInstance && pDevices->size() == 1;
    Devices devices;
    for (std::size_t i = 0; i < pDevices->size(); ++i)
    {
        const std::string at = indexed("", "devices", i).substr(1);
        if (!isObject(pDevices->get(i)))
            fail(at, "a device is a JSON object");
        devices.push_back(readDevice(pDevices->getObject(i), i, at));
    }
    for (std::size_t i = 0; i < pDevices->size(); ++i)
    {
        const std::string at = indexed("", "devices", i).substr(1);
        const Poco::JSON::Array::Ptr pObjects = array(pDevices->getObject(i), "objects", at);
        for (std::size_t j = 0; j < pObjects->size(); ++j)
            readLinkedObject(*devices[i], devices, pObjects->getObject(j), indexed(at, "objects", j));
    }
    readNetworks(*pResult, pSite, devices);
    for (auto& pDevice : devices)
    {
        if (_ownDeviceInstance && pDevice->getInstance() != *_ownDeviceInstance)
            continue;
        try
        {
            pResult->addDevice(std::move(pDevice));
        }
        catch (const Poco::ExistsException& e)
        {
            fail("devices", e.message());
        }
    }
    if (_ownDeviceInstance && pResult->getDeviceInstances().empty())
        fail("devices", "no device " + Poco::NumberFormatter::format(*_ownDeviceInstance) +
                            ": the file holds one device, or several with this one among them");
    return pResult;
}

void SiteFileReader::readNetworks(Site& site, const Poco::JSON::Object::Ptr& pSite, const Devices& devices)
{
    const Poco::JSON::Array::Ptr pNetworks = array(pSite, "networks", "");
    std::set<Poco::UInt16> given;
    for (std::size_t i = 0; i < pNetworks->size(); ++i)
    {
        const std::string at = indexed("", "networks", i).substr(1);
        if (!isObject(pNetworks->get(i)))
            fail(at, "a network is a JSON object");
        const Poco::JSON::Object::Ptr pNetwork = pNetworks->getObject(i);
        if (!pNetwork->has("network"))
            fail(at, "\"network\" missing: the network number");
        const auto network = static_cast<Poco::UInt16>(wholeNumber(pNetwork, "network", 0, 1, 65534, at));
        const bool hasDevice =
            std::any_of(devices.begin(), devices.end(),
                        [network](const std::unique_ptr<SimulatedDevice>& pDevice)
                        { return pDevice->getIdentity().address.getNetworkNumber() == network; });
        if (!hasDevice)
            fail(at + ".network", "no device is on network " + Poco::NumberFormatter::format(network));
        if (!given.insert(network).second)
            fail(at + ".network", "network " + Poco::NumberFormatter::format(network) + " is given twice");
        site.setFrameDelayMs(
            network, static_cast<Poco::UInt32>(wholeNumber(pNetwork, "frameDelayMs", 0, 0, 60000, at)));
    }
}

std::unique_ptr<SimulatedDevice> SiteFileReader::readDevice(const Poco::JSON::Object::Ptr& pDevice,
                                                            std::size_t index, const std::string& at)
{
    if (!pDevice->has("instance") && !_renameOnlyDevice)
        fail(at, "\"instance\" missing");
    SimulatedDevice::Identity identity;
    identity.instance =
        static_cast<Poco::UInt32>(wholeNumber(pDevice, "instance", 0, 0, BACNET_MAX_INSTANCE - 1, at));
    if (_renameOnlyDevice)
        identity.instance = *_ownDeviceInstance;
    identity.name = text(pDevice, "name", "Device " + Poco::NumberFormatter::format(identity.instance), at);
    identity.vendorIdentifier =
        static_cast<Poco::UInt16>(wholeNumber(pDevice, "vendorIdentifier", 0, 0, 65535, at));
    identity.vendorName = text(pDevice, "vendorName", "Simulated vendor", at);
    identity.modelName = text(pDevice, "modelName", "Simulated device", at);
    identity.maxApdu = static_cast<Poco::UInt32>(wholeNumber(pDevice, "maxApdu", 1476, 50, 1476, at));
    const std::string segmentation = text(pDevice, "segmentation", "segmented-transmit", at);
    if (segmentation != "segmented-transmit" && segmentation != "no-segmentation")
        fail(at + ".segmentation",
             "unknown segmentation " + quoted(segmentation) + " (segmented-transmit or no-segmentation)");
    identity.segmentation =
        segmentation == "no-segmentation" ? SEGMENTATION_NO_SEGMENTATION : SEGMENTATION_SEGMENTED_TRANSMIT;
    identity.bind = text(pDevice, "bind", "", at);
    identity.dropRate = number(pDevice, "dropRate", 0.0, 0.0, 1.0, at);
    identity.seed =
        static_cast<Poco::UInt32>(wholeNumber(pDevice, "seed", identity.instance, 0, 0xFFFFFFFFu, at));
    identity.address.setNetworkNumber(
        static_cast<Poco::UInt16>(wholeNumber(pDevice, "network", 0, 0, 65534, at)));
    const std::string mac =
        text(pDevice, "mac", "127.0.0.1:" + Poco::NumberFormatter::format(FIRST_PORT + index), at);
    if (mac.empty() || !identity.address.setMAC(mac))
        fail(at + ".mac", "not a MAC address: " + quoted(mac));

    auto pResult = std::make_unique<SimulatedDevice>(identity);
    SimulatedObject& deviceObject = pResult->getDeviceObject();
    for (const char* key : {"description", "location"})
    {
        if (pDevice->has(key))
            deviceObject.setProperty(propertyIdentifier(key, at),
                                     single(BACnetValue::makeCharacterString(text(pDevice, key, "", at))));
    }
    readProperties(deviceObject, pDevice, at);
    if (pDevice->has("faults"))
        readFaults(*pResult, object(pDevice, "faults", at), at + ".faults");
    const Poco::JSON::Array::Ptr pObjects = array(pDevice, "objects", at);
    for (std::size_t i = 0; i < pObjects->size(); ++i)
    {
        const std::string objectAt = indexed(at, "objects", i);
        if (!isObject(pObjects->get(i)))
            fail(objectAt, "an object is a JSON object");
        readPoint(*pResult, pObjects->getObject(i), objectAt);
    }
    return pResult;
}

void SiteFileReader::readFaults(SimulatedDevice& device, const Poco::JSON::Object::Ptr& pFaults,
                                const std::string& at)
{
    device.setSilent(flag(pFaults, "silent", false, at));
    device.setDelayMs(static_cast<Poco::UInt32>(wholeNumber(pFaults, "delayMs", 0, 0, 3600000, at)));
    if (!pFaults->has("errors"))
        return;
    const Poco::JSON::Array::Ptr pErrors = array(pFaults, "errors", at);
    for (std::size_t i = 0; i < pErrors->size(); ++i)
    {
        const std::string faultAt = indexed(at, "errors", i);
        if (!isObject(pErrors->get(i)))
            fail(faultAt, "a fault is a JSON object");
        device.addFault(readFault(pErrors->getObject(i), faultAt));
    }
}

SimulatedFault SiteFileReader::readFault(const Poco::JSON::Object::Ptr& pFault, const std::string& at)
{
    static const std::pair<const char*, SimulatedFault::Service> SERVICES[] = {
        {"any", SimulatedFault::ANY_SERVICE},
        {"read-property", SimulatedFault::READ_PROPERTY},
        {"read-property-multiple", SimulatedFault::READ_PROPERTY_MULTIPLE},
        {"read-range", SimulatedFault::READ_RANGE},
        {"write-property", SimulatedFault::WRITE_PROPERTY},
        {"subscribe-cov", SimulatedFault::SUBSCRIBE_COV}};
    SimulatedFault fault;
    const std::string service = text(pFault, "service", "any", at);
    bool known = false;
    for (const auto& entry : SERVICES)
    {
        if (service == entry.first)
        {
            fault.service = entry.second;
            known = true;
        }
    }
    if (!known)
        fail(at + ".service", "unknown service " + quoted(service));
    if (pFault->has("object"))
        fault.object = objectIdentifier(text(pFault, "object", "", at), at + ".object");
    if (pFault->has("property"))
        fault.property = propertyIdentifier(text(pFault, "property", "", at), at + ".property");
    if (pFault->has("errorClass") != pFault->has("errorCode"))
        fail(at, "\"errorClass\" and \"errorCode\" go together (neither: the request is dropped)");
    if (pFault->has("errorClass"))
    {
        fault.error.errorClass = static_cast<BACNET_ERROR_CLASS>(
            enumeration("BACnetErrorClass", pFault->get("errorClass"), at + ".errorClass"));
        fault.error.errorCode = static_cast<BACNET_ERROR_CODE>(
            enumeration("BACnetErrorCode", pFault->get("errorCode"), at + ".errorCode"));
        if (!fault.error.hasError())
            fail(at + ".errorClass", "not an error class");
    }
    fault.skip = static_cast<Poco::UInt32>(wholeNumber(pFault, "skip", 0, 0, 4294967295u, at));
    fault.count = static_cast<Poco::UInt32>(wholeNumber(pFault, "count", 4294967295u, 0, 4294967295u, at));
    return fault;
}

// ---- objects ------------------------------------------------------------------------------------------

void SiteFileReader::readPoint(SimulatedDevice& device, const Poco::JSON::Object::Ptr& pObject,
                               const std::string& at)
{
    const DataType::ObjectIdentifier identifier = identifierOf(pObject, at);
    const BACNET_OBJECT_TYPE type = identifier.getObjectType();
    if (isLinkedType(type))
        return;  // read once every device and point exists
    if (!ObjectTypeTraits::isPoint(type))
        fail(at + ".type", "object type not simulated: " + ProtocolText::objectTypeName(type));
    const std::string name = text(pObject, "name", identifier.toString(), at);
    const bool commandable = ObjectTypeTraits::isOutput(type) || (ObjectTypeTraits::isValueObject(type) &&
                                                                  flag(pObject, "commandable", true, at));
    const bool valueGiven = pObject->has("presentValue");
    if (valueGiven && pObject->isNull("presentValue"))
        fail(at + ".presentValue", "a value is expected, not null (leave it out for the default)");
    const BACnetValue initial = presentValueOf(
        type, valueGiven ? pObject->get("presentValue") : Poco::Dynamic::Var(), at + ".presentValue");
    auto pPoint = std::make_unique<SimulatedPoint>(identifier, name, initial, commandable);
    if (hasUnits(type))
        pPoint->setProperty(
            PROP_UNITS, single(BACnetValue::makeEnumerated(enumeration(
                            "BACnetEngineeringUnits",
                            pObject->has("units") ? pObject->get("units") : Poco::Dynamic::Var("no-units"),
                            at + ".units"))));
    if (hasRealValue(type))
        pPoint->setProperty(PROP_COV_INCREMENT, single(BACnetValue::makeReal(static_cast<float>(
                                                    number(pObject, "covIncrement", 0.1, 0, 1e9, at)))));
    if (ObjectTypeTraits::isMultiState(type))
    {
        pPoint->setProperty(PROP_NUMBER_OF_STATES,
                            single(BACnetValue::makeUnsigned(static_cast<Poco::UInt64>(
                                wholeNumber(pObject, "numberOfStates", 3, 1, 65535, at)))));
        if (pObject->has("stateText"))
            pPoint->setProperty(PROP_STATE_TEXT, propertyValue(type, PROP_STATE_TEXT,
                                                               pObject->get("stateText"), at + ".stateText"));
    }
    if (type == OBJECT_ACCUMULATOR)
        pPoint->setProperty(PROP_MAX_PRES_VALUE,
                            single(BACnetValue::makeUnsigned(
                                wholeNumber(pObject, "maxPresValue", 4294967295u, 0, 4294967295u, at))));
    readProperties(*pPoint, pObject, at);
    const Codec::ServiceError error = pPoint->changeValue(single(initial));
    if (error.hasError())
        fail(at + ".presentValue", error.getString());
    if (flag(pObject, "outOfService", false, at))
        pPoint->write(Codec::PropertyReference(PROP_OUT_OF_SERVICE), 16,
                      single(BACnetValue::makeBoolean(true)));
    if (pObject->has("drift"))
    {
        const Poco::JSON::Object::Ptr pDrift = object(pObject, "drift", at);
        if (commandable)
            fail(at + ".drift", "a commandable object takes its value from writes; it cannot drift");
        SimulatedPoint::Drift drift;
        drift.amplitude = number(pDrift, "amplitude", 1.0, 0, 1e9, at + ".drift");
        drift.periodSeconds = number(pDrift, "periodSeconds", 60.0, 0.01, 1e9, at + ".drift");
        pPoint->setDrift(drift, _loadTime);
    }
    if (pObject->has("sensor"))
        pPoint->setSensor(readSensor(pObject, type, commandable || pObject->has("drift"), at));
    try
    {
        device.addObject(std::move(pPoint));
    }
    catch (const Poco::ExistsException& e)
    {
        fail(at, e.message());
    }
}

SimulatedPoint::Sensor SiteFileReader::readSensor(const Poco::JSON::Object::Ptr& pObject,
                                                  BACNET_OBJECT_TYPE type, bool valueFromElsewhere,
                                                  const std::string& at)
{
    const std::string sensorAt = at + ".sensor";
    if (!hasRealValue(type))
        fail(sensorAt, "only an analog or pulse converter object reads a sensor");
    if (valueFromElsewhere)
        fail(sensorAt, "the value of a commandable or drifting object cannot come from a sensor");
    const Poco::JSON::Object::Ptr pSensor = object(pObject, "sensor", at);
    SimulatedPoint::Sensor sensor;
    sensor.path = text(pSensor, "path", "", sensorAt);
    if (sensor.path.empty())
        fail(sensorAt + ".path", "the file to read is expected");
    sensor.scale = number(pSensor, "scale", 1.0, -1e9, 1e9, sensorAt);
    return sensor;
}

DataType::ObjectIdentifier SiteFileReader::identifierOf(const Poco::JSON::Object::Ptr& pObject,
                                                        const std::string& at)
{
    if (!pObject->has("instance"))
        fail(at, "\"instance\" missing");
    const Poco::UInt64 instance = wholeNumber(pObject, "instance", 0, 0, BACNET_MAX_INSTANCE - 1, at);
    return objectIdentifier(text(pObject, "type", "", at) + ":" + Poco::NumberFormatter::format(instance),
                            at);
}

void SiteFileReader::readLinkedObject(SimulatedDevice& device, const Devices& devices,
                                      const Poco::JSON::Object::Ptr& pObject, const std::string& at)
{
    const DataType::ObjectIdentifier identifier = identifierOf(pObject, at);
    const BACNET_OBJECT_TYPE type = identifier.getObjectType();
    if (!isLinkedType(type))
        return;
    const std::string name = text(pObject, "name", identifier.toString(), at);
    std::unique_ptr<SimulatedObject> pResult;
    if (type == OBJECT_STRUCTURED_VIEW)
    {
        pResult = std::make_unique<SimulatedObject>(identifier, name);
        pResult->setProperty(PROP_NODE_TYPE, single(BACnetValue::makeEnumerated(static_cast<Poco::UInt32>(
                                                 wholeNumber(pObject, "nodeType", 0, 0, 65535, at)))));
        std::vector<DataType::BACnetDeviceObjectReference> subordinates;
        const Poco::JSON::Array::Ptr pSubordinates = array(pObject, "subordinates", at);
        for (std::size_t i = 0; i < pSubordinates->size(); ++i)
        {
            const DataType::BACnetDeviceObjectPropertyReference ref =
                reference(pSubordinates->get(i), indexed(at, "subordinates", i));
            subordinates.emplace_back(ref.getDeviceIdentifier(), ref.getObjectIdentifier());
        }
        ValueContainer list;
        list.setValues(subordinates, BACNET_DTS_ARRAY);
        pResult->setProperty(PROP_SUBORDINATE_LIST, list);
    }
    else if (pObject->has("record"))
    {
        pResult = readRecordedLog(device, identifier, name, pObject, at);
    }
    else
    {
        std::vector<SimulatedTrendLog::Channel> channels =
            readChannels(devices, pObject, type == OBJECT_TREND_LOG_MULTIPLE, at);
        for (SimulatedTrendLog::Channel& channel : channels)
            channel.dataType = loggedDataType(devices, device.getInstance(), channel.reference);
        const SimulatedLogSeries series(
            readSeries(pObject, channels.empty() ? BACNET_DT_REAL : channels.front().dataType, at));
        auto pTrendLog = std::make_unique<SimulatedTrendLog>(identifier, name, std::move(channels), series);
        const std::string overwrittenRead = text(pObject, "overwrittenRead", "nothing", at);
        if (overwrittenRead != "nothing" && overwrittenRead != "oldest")
            fail(at + ".overwrittenRead",
                 "unknown answer " + quoted(overwrittenRead) + " (nothing or oldest)");
        pTrendLog->setOverwrittenReadsFromOldest(overwrittenRead == "oldest");
        pResult = std::move(pTrendLog);
        pResult->setProperty(PROP_ENABLE,
                             single(BACnetValue::makeBoolean(flag(pObject, "enable", true, at))));
        if (pObject->has("resetAdjustValue"))
        {
            pResult->setProperty(PROP_PROPRIETARY_RESET_ADJUST_VALUE,
                                 single(BACnetValue::makeEnumerated(static_cast<Poco::UInt32>(
                                     wholeNumber(pObject, "resetAdjustValue", 0, 0, 2, at)))));
        }
    }
    readProperties(*pResult, pObject, at);
    try
    {
        device.addObject(std::move(pResult));
    }
    catch (const Poco::ExistsException& e)
    {
        fail(at, e.message());
    }
}

std::unique_ptr<SimulatedObject> SiteFileReader::readRecordedLog(const SimulatedDevice& device,
                                                                 const DataType::ObjectIdentifier& identifier,
                                                                 const std::string& name,
                                                                 const Poco::JSON::Object::Ptr& pObject,
                                                                 const std::string& at)
{
    const std::string recordAt = at + ".record";
    if (!_pStore)
        fail(recordAt, "only the gateway's own device records trend logs (orvik-gateway --bacnet-ip)");
    if (identifier.getObjectType() != OBJECT_TREND_LOG)
        fail(recordAt, "only a trend-log records; a trend-log-multiple does not");
    if (pObject->has("log"))
        fail(at + ".log", "a recorded trend log has no generated records");
    if (!pObject->has("logs"))
        fail(at, "\"logs\" missing: the logged property");
    const Poco::JSON::Object::Ptr pRecord = object(pObject, "record", at);
    LogStore::Log log;
    log.instance = identifier.getInstance();
    log.reference = reference(pObject->get("logs"), at + ".logs");
    if (!log.reference.hasDevice())
    {
        log.reference = DataType::BACnetDeviceObjectPropertyReference(
            log.reference.getObjectIdentifier(), log.reference.getPropertyIdentifier(), BACNET_ARRAY_ALL,
            DataType::ObjectIdentifier(OBJECT_DEVICE, device.getInstance()));
    }
    log.cov = flag(pRecord, "cov", false, recordAt);
    log.triggered = flag(pRecord, "triggered", false, recordAt);
    if (log.cov && log.triggered)
        fail(recordAt, "a log is logged by COV or when triggered, not both");
    const double intervalSeconds = number(pRecord, "intervalSeconds", 60, 0.01, 1e7, recordAt);
    log.interval =
        Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(std::llround(intervalSeconds * 100)) * 10000);
    log.resubscriptionSeconds =
        static_cast<Poco::UInt32>(wholeNumber(pRecord, "resubscriptionSeconds", 300, 10, 86400, recordAt));
    log.bufferSize = wholeNumber(pRecord, "bufferSize", 1000, 1, 10000000, recordAt);
    log.stopWhenFull = flag(pRecord, "stopWhenFull", false, recordAt);
    try
    {
        _pStore->addLog(log, flag(pObject, "enable", true, at));
    }
    catch (const Poco::ExistsException& e)
    {
        fail(at, e.message());
    }
    return std::make_unique<RecordedTrendLog>(name, log, _pStore);
}

std::vector<SimulatedTrendLog::Channel> SiteFileReader::readChannels(const Devices&,
                                                                     const Poco::JSON::Object::Ptr& pObject,
                                                                     bool multiple, const std::string& at)
{
    if (!pObject->has("logs"))
        fail(at, "\"logs\" missing: the logged property");
    const Poco::Dynamic::Var logs = pObject->get("logs");
    std::vector<SimulatedTrendLog::Channel> channels;
    if (!multiple)
    {
        channels.push_back(SimulatedTrendLog::Channel{reference(logs, at + ".logs"), BACNET_DT_REAL});
        return channels;
    }
    if (!isArray(logs))
        fail(at + ".logs", "a trend log multiple logs a list of references");
    const Poco::JSON::Array::Ptr pLogs = logs.extract<Poco::JSON::Array::Ptr>();
    for (std::size_t i = 0; i < pLogs->size(); ++i)
        channels.push_back(
            SimulatedTrendLog::Channel{reference(pLogs->get(i), indexed(at, "logs", i)), BACNET_DT_REAL});
    if (channels.empty())
        fail(at + ".logs", "a trend log multiple logs at least one property");
    return channels;
}

BACnetDataType SiteFileReader::loggedDataType(
    const Devices& devices, Poco::UInt32 ownDevice,
    const DataType::BACnetDeviceObjectPropertyReference& reference) const
{
    const Poco::UInt32 instance =
        reference.hasDevice() ? reference.getDeviceIdentifier().getInstance() : ownDevice;
    for (const auto& pDevice : devices)
    {
        if (pDevice->getInstance() != instance)
            continue;
        const auto* pPoint =
            dynamic_cast<const SimulatedPoint*>(pDevice->findObject(reference.getObjectIdentifier()));
        if (pPoint != nullptr && (reference.getPropertyIdentifier() == PROP_PRESENT_VALUE ||
                                  reference.getPropertyIdentifier() == PROP_RELINQUISH_DEFAULT))
            return pPoint->getValueType();
    }
    const PropertyDatatype* pRow = PropertyDatatypeTable::find(
        reference.getObjectIdentifier().getObjectType(), reference.getPropertyIdentifier());
    return pRow != nullptr && isLoggable(pRow->dataType) ? pRow->dataType : BACNET_DT_REAL;
}

SimulatedLogSeries::Settings SiteFileReader::readSeries(const Poco::JSON::Object::Ptr& pObject,
                                                        BACnetDataType dataType, const std::string& objectAt)
{
    static const std::pair<const char*, SimulatedLogSeries::Shape> SHAPES[] = {
        {"sine", SimulatedLogSeries::SINE},
        {"ramp", SimulatedLogSeries::RAMP},
        {"square", SimulatedLogSeries::SQUARE},
        {"constant", SimulatedLogSeries::CONSTANT}};
    const bool real = dataType == BACNET_DT_REAL;
    const bool binary = dataType == BACNET_DT_ENUMERATED || dataType == BACNET_DT_BOOLEAN;
    const Poco::JSON::Object::Ptr pLog = pObject->has("log")
                                             ? object(pObject, "log", objectAt)
                                             : Poco::JSON::Object::Ptr(new Poco::JSON::Object);
    const std::string at = objectAt + ".log";

    SimulatedLogSeries::Settings settings;
    const double intervalSeconds = number(pLog, "intervalSeconds", 60, 0.01, 1e8, at);
    settings.interval =
        Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(std::llround(intervalSeconds * 1e6)));
    settings.count = wholeNumber(pLog, "count", 100, 0, 1000000000, at);
    settings.live = flag(pLog, "live", false, at);
    if (pLog->has("start"))
    {
        const std::string start = text(pLog, "start", "", at);
        Poco::DateTime parsed;
        int zone = 0;
        if (!Poco::DateTimeParser::tryParse(start, parsed, zone))
            fail(at + ".start", "not a date and time: " + quoted(start));
        parsed.makeUTC(zone);
        settings.start = parsed.timestamp();
    }
    else
    {
        const double defaultAgo = static_cast<double>(settings.count) * intervalSeconds;
        const double ago = number(pLog, "startSecondsAgo", defaultAgo, 0, 1e10, at);
        settings.start = _loadTime - static_cast<Poco::Timestamp::TimeDiff>(std::llround(ago * 1e6));
    }
    settings.bufferSize =
        wholeNumber(pLog, "bufferSize", std::max<Poco::UInt64>(settings.count, 1000), 1, 4294967295u, at);
    const std::string shape = text(pLog, "shape", real ? "sine" : (binary ? "square" : "ramp"), at);
    bool known = false;
    for (const auto& entry : SHAPES)
    {
        if (shape == entry.first)
        {
            settings.shape = entry.second;
            known = true;
        }
    }
    if (!known)
        fail(at + ".shape", "unknown shape " + quoted(shape) + " (sine, ramp, square or constant)");
    settings.offset = number(pLog, "offset", real ? 20.0 : (binary ? 0.0 : 1.0), -1e9, 1e9, at);
    settings.amplitude = number(pLog, "amplitude", real ? 5.0 : 1.0, -1e9, 1e9, at);
    settings.periodRecords =
        wholeNumber(pLog, "periodRecords", real ? 96 : (binary ? 10 : 3), 1, 1000000000, at);
    return settings;
}

void SiteFileReader::readProperties(SimulatedObject& object, const Poco::JSON::Object::Ptr& pObject,
                                    const std::string& objectAt)
{
    if (!pObject->has("properties"))
        return;
    const Poco::JSON::Object::Ptr pProperties = this->object(pObject, "properties", objectAt);
    const BACNET_OBJECT_TYPE type = object.getIdentifier().getObjectType();
    for (const std::string& name : pProperties->getNames())
    {
        const std::string at = objectAt + ".properties." + name;
        const BACNET_PROPERTY_ID property = propertyIdentifier(name, at);
        if (object.isComputed(property))
            fail(at, "the simulation computes this property; it cannot be given a fixed value");
        object.setProperty(property, propertyValue(type, property, pProperties->get(name), at));
    }
}

// ---- values -------------------------------------------------------------------------------------------

BACnetValue SiteFileReader::presentValueOf(BACNET_OBJECT_TYPE type, const Poco::Dynamic::Var& value,
                                           const std::string& at)
{
    const bool given = !value.isEmpty();
    if (hasRealValue(type))
        return BACnetValue::makeReal(given ? realNumber(value, at) : 0.0f);
    if (ObjectTypeTraits::isBinary(type))
    {
        if (!given)
            return BACnetValue::makeEnumerated(0);
        if (value.isBoolean())
            return BACnetValue::makeEnumerated(value.convert<bool>() ? 1 : 0);
        return BACnetValue::makeEnumerated(enumeration("BACnetBinaryPV", value, at));
    }
    return BACnetValue::makeUnsigned(given ? unsignedNumber(value, 0, UNSIGNED_MAX, at)
                                           : (ObjectTypeTraits::isMultiState(type) ? 1 : 0));
}

ValueContainer SiteFileReader::propertyValue(BACNET_OBJECT_TYPE type, BACNET_PROPERTY_ID property,
                                             const Poco::Dynamic::Var& value, const std::string& at)
{
    const PropertyDatatype* pRow = PropertyDatatypeTable::find(type, property);
    if (pRow == nullptr)
        fail(at, "not a property of " + ProtocolText::objectTypeName(type));
    ValueContainer container;
    if (pRow->structure == BACNET_DTS_SINGLE_VALUE)
    {
        container.setValue(elementValue(*pRow, value, at));
        return container;
    }
    if (!isArray(value))
        fail(at, "a list of values is expected");
    const Poco::JSON::Array::Ptr pValues = value.extract<Poco::JSON::Array::Ptr>();
    container.setStructure(pRow->structure);
    for (std::size_t i = 0; i < pValues->size(); ++i)
        container.append(
            elementValue(*pRow, pValues->get(i), at + "[" + Poco::NumberFormatter::format(i) + "]"));
    container.setDataType(pRow->dataType);
    return container;
}

BACnetValue SiteFileReader::elementValue(const PropertyDatatype& datatype, const Poco::Dynamic::Var& value,
                                         const std::string& at)
{
    switch (datatype.dataType)
    {
        case BACNET_DT_BOOLEAN:
            if (!value.isBoolean())
                fail(at, "true or false is expected");
            return BACnetValue::makeBoolean(value.convert<bool>());
        case BACNET_DT_UNSIGNED:
            return BACnetValue::makeUnsigned(unsignedNumber(value, 0, UNSIGNED_MAX, at));
        case BACNET_DT_SIGNED:
            return BACnetValue::makeSigned(signedNumber(value, at));
        case BACNET_DT_REAL:
            return BACnetValue::makeReal(realNumber(value, at));
        case BACNET_DT_DOUBLE:
            if (!isNumber(value))
                fail(at, "a number is expected");
            return BACnetValue::makeDouble(value.convert<double>());
        case BACNET_DT_CHARACTER_STRING:
            if (!value.isString())
                fail(at, "a text is expected");
            return BACnetValue::makeCharacterString(value.convert<std::string>());
        case BACNET_DT_ENUMERATED:
            return BACnetValue::makeEnumerated(enumeration(datatype.enumeration, value, at));
        case BACNET_DT_OBJECT_IDENTIFIER:
            if (!value.isString())
                fail(at, "an object (\"type:instance\") is expected");
            return BACnetValue(objectIdentifier(value.convert<std::string>(), at));
        case BACNET_DT_BIT_STRING:
            return BACnetValue(bitString(value, at));
        case BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE:
            return BACnetValue(reference(value, at));
        case BACNET_DT_DEVICE_OBJECT_REFERENCE:
        {
            const DataType::BACnetDeviceObjectPropertyReference ref = reference(value, at);
            return BACnetValue(
                DataType::BACnetDeviceObjectReference(ref.getDeviceIdentifier(), ref.getObjectIdentifier()));
        }
        default:
        {
            // Any other datatype in its stored text form.
            ValueContainer parsed;
            if (!value.isString() ||
                !parsed.setText(datatype.dataType, datatype.appTag, value.convert<std::string>(), false) ||
                parsed.size() != 1)
                fail(at, std::string("a value of type ") + BACnetDataTypeInfo::name(datatype.dataType) +
                             " in its stored text form is expected");
            return parsed.at(0);
        }
    }
}

DataType::BitString SiteFileReader::bitString(const Poco::Dynamic::Var& value, const std::string& at)
{
    if (!isArray(value))
        fail(at, "a list of true and false is expected");
    const Poco::JSON::Array::Ptr pBits = value.extract<Poco::JSON::Array::Ptr>();
    DataType::BitString bits(pBits->size());
    for (std::size_t i = 0; i < pBits->size(); ++i)
    {
        if (!pBits->get(i).isBoolean())
            fail(at + "[" + Poco::NumberFormatter::format(i) + "]", "true or false is expected");
        bits.setBit(i, pBits->get(i).convert<bool>());
    }
    return bits;
}

DataType::ObjectIdentifier SiteFileReader::objectIdentifier(const std::string& text, const std::string& at)
{
    const std::string::size_type colon = text.rfind(':');
    unsigned instance = 0;
    if (colon == std::string::npos ||
        !Poco::NumberParser::tryParseUnsigned(text.substr(colon + 1), instance) ||
        instance > BACNET_MAX_INSTANCE)
        fail(at, "not an object \"<type>:<instance>\": " + quoted(text));
    const std::string typeName = text.substr(0, colon);
    std::uint32_t type = 0;
    if (!ProtocolText::objectTypeIndex(typeName, type) &&
        (!Poco::NumberParser::tryParseUnsigned(typeName, type) ||
         type > DataType::ObjectIdentifier::_MAX_TYPE))
        fail(at, "unknown object type " + quoted(typeName));
    return DataType::ObjectIdentifier(type, instance);
}

DataType::BACnetDeviceObjectPropertyReference SiteFileReader::reference(const Poco::Dynamic::Var& value,
                                                                        const std::string& at)
{
    if (!value.isString())
        fail(at, "a reference \"[[device:]<device>/]<type>:<instance>[/<property>]\" is expected");
    const Poco::StringTokenizer parts(value.convert<std::string>(), "/", Poco::StringTokenizer::TOK_TRIM);
    if (parts.count() == 0 || parts.count() > 3)
        fail(at, "not a reference \"[[device:]<device>/]<type>:<instance>[/<property>]\": " +
                     quoted(value.convert<std::string>()));
    std::size_t next = 0;
    DataType::ObjectIdentifier device = DataType::BACnetDeviceObjectPropertyReference::noDevice();
    unsigned deviceInstance = 0;
    const bool devicePrefix =
        parts.count() > 1 && parts[0].rfind("device:", 0) == 0 && parts[1].find(':') != std::string::npos;
    if (devicePrefix)
    {
        device = objectIdentifier(parts[0], at);
        ++next;
    }
    else if (parts[0].find(':') == std::string::npos)
    {
        if (!Poco::NumberParser::tryParseUnsigned(parts[0], deviceInstance) ||
            deviceInstance >= BACNET_MAX_INSTANCE)
            fail(at, "not a device instance: " + quoted(parts[0]));
        device = DataType::ObjectIdentifier(OBJECT_DEVICE, deviceInstance);
        ++next;
    }
    if (next >= parts.count())
        fail(at, "the reference names no object");
    const DataType::ObjectIdentifier object = objectIdentifier(parts[next++], at);
    const BACNET_PROPERTY_ID property =
        next < parts.count() ? propertyIdentifier(parts[next++], at) : PROP_PRESENT_VALUE;
    if (next != parts.count())
        fail(at, "not a reference \"[[device:]<device>/]<type>:<instance>[/<property>]\"");
    return DataType::BACnetDeviceObjectPropertyReference(object, property, BACNET_ARRAY_ALL, device);
}

BACNET_PROPERTY_ID SiteFileReader::propertyIdentifier(const std::string& name, const std::string& at)
{
    std::uint32_t property = 0;
    if (!ProtocolText::propertyIndex(name, property) &&
        (!Poco::NumberParser::tryParseUnsigned(name, property) || property >= MAX_BACNET_PROPERTY_ID))
        fail(at, "unknown property " + quoted(name));
    return static_cast<BACNET_PROPERTY_ID>(property);
}

Poco::UInt32 SiteFileReader::enumeration(const std::string& enumeration, const Poco::Dynamic::Var& value,
                                         const std::string& at)
{
    if (isNumber(value))
        return static_cast<Poco::UInt32>(unsignedNumber(value, 0, 0xFFFFFFFF, at));
    if (!value.isString())
        fail(at, "a name or number of " + enumeration + " is expected");
    std::uint32_t index = 0;
    if (!ProtocolText::enumerationIndex(enumeration, value.convert<std::string>(), index))
        fail(at, "not a value of " + enumeration + ": " + quoted(value.convert<std::string>()));
    return index;
}

// ---- JSON access --------------------------------------------------------------------------------------

std::string SiteFileReader::text(const Poco::JSON::Object::Ptr& pObject, const std::string& key,
                                 const std::string& fallback, const std::string& at)
{
    if (!pObject->has(key))
        return fallback;
    const Poco::Dynamic::Var value = pObject->get(key);
    if (!value.isString())
        fail(at + "." + key, "a text is expected");
    return value.convert<std::string>();
}

Poco::UInt64 SiteFileReader::wholeNumber(const Poco::JSON::Object::Ptr& pObject, const std::string& key,
                                         Poco::UInt64 fallback, Poco::UInt64 minimum, Poco::UInt64 maximum,
                                         const std::string& at)
{
    return pObject->has(key) ? unsignedNumber(pObject->get(key), minimum, maximum, at + "." + key) : fallback;
}

Poco::UInt64 SiteFileReader::unsignedNumber(const Poco::Dynamic::Var& value, Poco::UInt64 minimum,
                                            Poco::UInt64 maximum, const std::string& at)
{
    if (!isNumber(value))
        fail(at, "a whole number is expected");
    bool inRange = false;
    Poco::UInt64 result = 0;
    if (value.isInteger())
    {
        inRange = !value.isSigned() || value.convert<Poco::Int64>() >= 0;
        result = inRange ? value.convert<Poco::UInt64>() : 0;
    }
    else
    {
        const double given = value.convert<double>();
        if (given != std::floor(given))
            fail(at, "a whole number is expected");
        inRange = given >= 0 && given < 18446744073709551616.0;
        result = inRange ? static_cast<Poco::UInt64>(given) : 0;
    }
    if (!inRange || result < minimum || result > maximum)
        outOfRange(value,
                   Poco::NumberFormatter::format(minimum) + " to " + Poco::NumberFormatter::format(maximum),
                   at);
    return result;
}

Poco::Int64 SiteFileReader::signedNumber(const Poco::Dynamic::Var& value, const std::string& at)
{
    if (!isNumber(value))
        fail(at, "a whole number is expected");
    const std::string range =
        Poco::NumberFormatter::format(SIGNED_MIN) + " to " + Poco::NumberFormatter::format(SIGNED_MAX);
    if (value.isInteger())
    {
        if (!value.isSigned() && value.convert<Poco::UInt64>() > static_cast<Poco::UInt64>(SIGNED_MAX))
            outOfRange(value, range, at);
        return value.convert<Poco::Int64>();
    }
    const double given = value.convert<double>();
    if (given != std::floor(given))
        fail(at, "a whole number is expected");
    if (!(given >= -9223372036854775808.0 && given < 9223372036854775808.0))
        outOfRange(value, range, at);
    return static_cast<Poco::Int64>(given);
}

float SiteFileReader::realNumber(const Poco::Dynamic::Var& value, const std::string& at)
{
    if (!isNumber(value))
        fail(at, "a number is expected");
    const double given = value.convert<double>();
    const double limit = std::numeric_limits<float>::max();
    if (!(given >= -limit && given <= limit))
    {
        std::ostringstream range;
        range << "of REAL, " << -limit << " to " << limit;
        outOfRange(value, range.str(), at);
    }
    return static_cast<float>(given);
}

double SiteFileReader::number(const Poco::JSON::Object::Ptr& pObject, const std::string& key, double fallback,
                              double minimum, double maximum, const std::string& at)
{
    if (!pObject->has(key))
        return fallback;
    const Poco::Dynamic::Var value = pObject->get(key);
    if (!isNumber(value))
        fail(at + "." + key, "a number is expected");
    const double result = value.convert<double>();
    if (!(result >= minimum && result <= maximum))
        outOfRange(value,
                   Poco::NumberFormatter::format(minimum) + " to " + Poco::NumberFormatter::format(maximum),
                   at + "." + key);
    return result;
}

bool SiteFileReader::flag(const Poco::JSON::Object::Ptr& pObject, const std::string& key, bool fallback,
                          const std::string& at)
{
    if (!pObject->has(key))
        return fallback;
    const Poco::Dynamic::Var value = pObject->get(key);
    if (!value.isBoolean())
        fail(at + "." + key, "true or false is expected");
    return value.convert<bool>();
}

Poco::JSON::Object::Ptr SiteFileReader::object(const Poco::JSON::Object::Ptr& pParent, const std::string& key,
                                               const std::string& at)
{
    if (!pParent->has(key) || !isObject(pParent->get(key)))
        fail(at + "." + key, "a JSON object is expected");
    return pParent->getObject(key);
}

Poco::JSON::Array::Ptr SiteFileReader::array(const Poco::JSON::Object::Ptr& pParent, const std::string& key,
                                             const std::string& at)
{
    if (!pParent->has(key))
        return new Poco::JSON::Array;
    if (!isArray(pParent->get(key)))
        fail(at + "." + key, "a JSON array is expected");
    return pParent->getArray(key);
}

void SiteFileReader::outOfRange(const Poco::Dynamic::Var& value, const std::string& range,
                                const std::string& at) const
{
    std::string given = value.convert<std::string>();
    if (!value.isInteger())
    {
        const auto literal = _hugeLiterals.find(value.convert<double>());
        if (literal != _hugeLiterals.end())
            given = literal->second;
    }
    if (given.size() > MAX_GIVEN_CHARACTERS)
        given = given.substr(0, MAX_GIVEN_CHARACTERS) + "...";
    fail(at, given + " is out of range " + range);
}

void SiteFileReader::fail(const std::string& at, const std::string& message) const
{
    // The place holds the file's own keys (property names): printable ASCII only, as the quoted values.
    const std::string place = at.empty() ? "" : asciiOnly(at[0] == '.' ? at.substr(1) : at) + ": ";
    throw Poco::DataFormatException(_origin + ": " + place + message);
}

}  // namespace Orvik::BACnet::Device
