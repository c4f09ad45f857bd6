// libFuzzer target: a confirmed request as a device serves it. The first input octet picks the service
// (ReadProperty, ReadPropertyMultiple, ReadRange, WriteProperty, SubscribeCOV, SubscribeCOVProperty),
// the rest is its service data: decoded as the server decodes it, served by a device of the test site
// (every object type, trend logs, faults), and the answer encoded. Requests that decode must be
// served and answered without a crash, a hang or a leak, however odd their ranges, indexes and values.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Orvik_BACnetDevice/ServiceCoding.h"
#include "Orvik_BACnetDevice/Site.h"

namespace
{

using namespace Orvik::BACnet;

const std::uint8_t _SERVICES[] = {SERVICE_CONFIRMED_READ_PROPERTY, SERVICE_CONFIRMED_READ_PROPERTY_MULTIPLE,
                                  SERVICE_CONFIRMED_READ_RANGE,    SERVICE_CONFIRMED_WRITE_PROPERTY,
                                  SERVICE_CONFIRMED_SUBSCRIBE_COV, SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY};
constexpr Poco::UInt32 _DEVICE = 100;

Device::Site& site()
{
    static const std::unique_ptr<Device::Site> pSite =
        Device::Site::load(std::string(ORVIK_SOURCE_DIR) + "/sites/test-network.json");
    return *pSite;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t service = _SERVICES[data[0] % sizeof(_SERVICES)];
    std::optional<Device::ServiceRequest> request;
    try
    {
        request = Device::ServiceCoding::decodeRequest(service, Codec::OctetView(data + 1, size - 1));
    }
    catch (const Codec::DecodeError&)
    {
        return 0;  // answered with a Reject
    }
    const Device::Site::Served served =
        site().serve(_DEVICE, *request, DataType::BACnetAddress(), Poco::Timestamp());
    if (served.reply)
        Device::ServiceCoding::encodeReply(*served.reply, service);
    return 0;
}
