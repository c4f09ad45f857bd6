#include "BACnet/ManualClock.h"
#include "BACnetClient/RecordingListener.h"
#include "BACnetClient/UdpPeer.h"
#include "Orvik_BACnet/Codec/IAm.h"
#include "Orvik_BACnet/Codec/ReadProperty.h"
#include "Orvik_BACnet/Codec/ReadPropertyMultiple.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/ServiceCoding.h"
#include "Orvik_BACnetDevice/Site.h"

#include <Poco/Format.h>
#include <gmock/gmock.h>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>

namespace Orvik::BACnet::Client::Test
{

using BACnet::Test::ManualClock;

namespace
{

using namespace Orvik::BACnet::Codec;
using Codec::Test::Packet;
using testing::HasSubstr;
using testing::StartsWith;

const Poco::UInt32 DEVICE = 100;

Octets datagram(const Octets& apdu, const Npdu::Header& npdu = Npdu::Header())
{
    Bvll::Message message;
    message.function = Bvll::ORIGINAL_UNICAST_NPDU;
    const Octets npduOctets = Npdu::encode(npdu, apdu);
    message.payload = npduOctets;
    return Bvll::encode(message);
}

Npdu::Header routedFrom(Poco::UInt16 network, const std::string& mac)
{
    Npdu::Header header;
    header.hasSource = true;
    header.source.setNetworkNumber(network);
    header.source.setMAC(mac);
    return header;
}

Apdu::Header pdu(Apdu::Type type, Poco::UInt8 invokeId, std::uint8_t choice)
{
    Apdu::Header header;
    header.type = type;
    header.invokeId = invokeId;
    header.serviceChoice = choice;
    header.server = type == Apdu::ABORT;
    return header;
}

Octets iAm(Poco::UInt32 instance, Poco::UInt32 maxApdu = 1476)
{
    const IAm record{DataType::ObjectIdentifier(OBJECT_DEVICE, instance), maxApdu,
                     SEGMENTATION_SEGMENTED_BOTH};
    return Apdu::encode(pdu(Apdu::UNCONFIRMED_REQUEST, 0, IAm::_SERVICE), record.encode());
}

/// A ReadProperty-ACK of `device`'s object, its `property` `value`.
Octets readAck(const ValueContainer& value, PropertyReference property = PropertyReference(PROP_OBJECT_NAME),
               Poco::UInt32 device = DEVICE)
{
    return ReadProperty::encodeAck({DataType::ObjectIdentifier(OBJECT_DEVICE, device), property, value, {}});
}

Octets nameAck(const std::string& name, Poco::UInt32 device = DEVICE)
{
    return readAck(ValueContainer(BACnetValue(name)), PropertyReference(PROP_OBJECT_NAME), device);
}

Octets rpmAck(Poco::UInt8 invokeId, const std::vector<ReadPropertyMultiple::ObjectResult>& results)
{
    return Apdu::encode(pdu(Apdu::COMPLEX_ACK, invokeId, ReadPropertyMultiple::_SERVICE),
                        ReadPropertyMultiple::encodeAck(results));
}

Octets complexAck(Poco::UInt8 invokeId, std::uint8_t service, const Octets& data)
{
    return Apdu::encode(pdu(Apdu::COMPLEX_ACK, invokeId, service), data);
}

/// One segment of a ReadProperty-ACK.
Octets segment(Poco::UInt8 invokeId, unsigned sequence, std::uint8_t window, bool more, const Octets& data)
{
    Apdu::Header header = pdu(Apdu::COMPLEX_ACK, invokeId, ReadProperty::_SERVICE);
    header.segmented = true;
    header.moreFollows = more;
    header.sequenceNumber = static_cast<std::uint8_t>(sequence);
    header.windowSize = window;
    return Apdu::encode(header, data);
}

}  // namespace

/// A BACnet/IP network on loopback, with the test playing its devices, routers and BBMD through UDP
/// peers; the network's timers run on a manual clock.
class IPNetworkTest : public testing::Test
{
protected:
    void open(const std::function<void(IP::BACnetIPNetwork::Settings&)>& change = nullptr)
    {
        IP::BACnetIPNetwork::Settings settings;
        settings.local = Poco::Net::SocketAddress("127.0.0.1", 0);
        settings.broadcast = device.address();
        settings.transactions.apduTimeoutMs = 1000;
        settings.transactions.apduRetries = 1;
        settings.ownDeviceInstance = 1;
        if (change)
            change(settings);
        network = std::make_unique<IP::BACnetIPNetwork>(settings, clock);
        network->open(listener);
    }

    void TearDown() override
    {
        if (network)
            network->close();
    }

    /// `peer` answers for the device with an I-Am (sent with `npdu`, from a router: routedFrom).
    void bind(UdpPeer& peer, Poco::UInt32 instance, Poco::UInt32 maxApdu = 1476,
              const Npdu::Header& npdu = Npdu::Header())
    {
        peer.send(datagram(iAm(instance, maxApdu), npdu), network->localAddress());
        ASSERT_TRUE(listener.waitUntil(
            [&] { return !listener.iAms.empty() && listener.iAms.back().deviceInstance == instance; }));
    }

    void answer(UdpPeer& peer, const Octets& apdu, const Npdu::Header& npdu = Npdu::Header())
    {
        peer.send(datagram(apdu, npdu), network->localAddress());
    }

    /// A confirmed request the device received: its description, its invoke id and, for a
    /// ReadPropertyMultiple, what it asks for.
    struct Request
    {
        std::string text;
        Poco::UInt8 invokeId;
        std::vector<ReadPropertyMultiple::ObjectRequest> asked;
    };

    Request receiveRequest()
    {
        Poco::Net::SocketAddress from;
        const Octets octets = device.receiveOctets(from, 5000);
        const Bvll::Message bvll = Bvll::decode(octets);
        const Apdu::Message apdu = Apdu::decode(Npdu::decode(bvll.payload).payload);
        Request request{Packet::decode(octets).describe(), apdu.header.invokeId, {}};
        if (apdu.header.serviceChoice == ReadPropertyMultiple::_SERVICE)
            request.asked = ReadPropertyMultiple::decodeRequest(apdu.serviceData);
        return request;
    }

    /// The device's answer that the request's answer is too large for it.
    void abortTooLarge(Poco::UInt8 invokeId)
    {
        answer(device, Apdu::encode(pdu(Apdu::ABORT, invokeId, ABORT_REASON_SEGMENTATION_NOT_SUPPORTED)));
    }

    ManualClock clock;
    RecordingListener listener;
    UdpPeer device;
    std::unique_ptr<IP::BACnetIPNetwork> network;
};

TEST_F(IPNetworkTest, OnlyTheAnswerFromTheRequestsAddressWithItsInvokeIdAndServiceCounts)
{
    open();
    bind(device, DEVICE);
    network->sendReadProperty(1, objectNameOf(DEVICE));
    EXPECT_EQ(
        device.receive().describe(),
        "unicast | reply | confirmed id=0 apdu=1476 segments=64 accepts-segments service=12 read-property "
        "device:100 object-name");

    // Each of these is dropped; were one taken, the transaction would end with it.
    UdpPeer stranger;
    answer(stranger, complexAck(0, ReadProperty::_SERVICE, nameAck("stranger")));
    answer(device, complexAck(1, ReadProperty::_SERVICE, nameAck("wrong invoke id")));
    answer(device, complexAck(0, SERVICE_CONFIRMED_READ_RANGE, nameAck("wrong service")));
    answer(device, Apdu::encode(pdu(Apdu::SIMPLE_ACK, 0, ReadProperty::_SERVICE)));
    // An Error of another service, a client's Abort, and datagrams that are no BACnet or cut short.
    for (const char* hostile :
         {"81 0a 00 0d 01 00 50 00 0f 91 01 91 1f", "81 0a 00 09 01 00 70 00 00", "", "81",
          "82 0a 00 06 01 00", "81 0a 00 09 01 00 10 08", "81 0a ff ff 01 00 30 00",
          "81 0a 00 08 02 00 30 00", "81 0a 00 08 01 00 80 00", "81 0a 00 07 01 20 ff",
          "81 0a 00 0b 01 00 30 05 0c 0c 00", "81 04 00 08 7f 00 00 01"})
        device.send(Packet::fromHex(hostile), network->localAddress());
    answer(device, complexAck(0, ReadProperty::_SERVICE, nameAck("Device A")));

    EXPECT_EQ(nameIn(listener.firstReply(1)), "Device A") << errorIn(listener.repliesOf(1).at(0)).getString();
    answer(device, complexAck(0, ReadProperty::_SERVICE, nameAck("late")));
    EXPECT_FALSE(listener.waitUntil([&] { return listener.replies[1].size() > 1; }, 200));
}

TEST_F(IPNetworkTest, SegmentedAnswerIsAcknowledgedWindowByWindowAndPutTogether)
{
    open();
    bind(device, DEVICE);
    network->sendReadProperty(1, objectNameOf(DEVICE));
    device.receive();
    const std::string name(1000, 'n');
    const Octets whole = nameAck(name);
    const std::size_t quarter = whole.size() / 4;
    // Sent, and the Segment-ACK it gets (empty: none).
    const std::vector<std::pair<std::uint8_t, std::string>> exchange{
        {0, "segment-ack id=0 seq=0 window=2"},
        {2, "segment-ack id=0 seq=0 window=2 nak"},
        {1, ""},
        {2, "segment-ack id=0 seq=2 window=2"},
        {3, "segment-ack id=0 seq=3 window=2"}};
    for (const auto& step : exchange)
    {
        const auto begin = whole.begin() + step.first * quarter;
        answer(device, segment(0, step.first, 2, step.first < 3,
                               Octets(begin, step.first < 3 ? begin + quarter : whole.end())));
        if (step.second.empty())
            EXPECT_FALSE(device.receivesAny(100)) << unsigned(step.first);
        else
            EXPECT_THAT(device.receive().describe(), HasSubstr(step.second)) << unsigned(step.first);
    }
    EXPECT_EQ(nameIn(listener.firstReply(1)), name);
}

TEST_F(IPNetworkTest, SegmentFloodsBadWindowsAndStalledAnswersAreAborted)
{
    struct Case
    {
        unsigned segments;
        std::uint8_t window;
        bool stall;
        std::string abort;
        DataError error;
    };
    const std::vector<Case> cases{
        {65, 127, false, "abort id=0 service=1",
         DataError(ERROR_CLASS_ABORT, ERROR_CODE_ABORT_BUFFER_OVERFLOW)},
        {1, 0, false, "abort id=1 service=7",
         DataError(ERROR_CLASS_ABORT, ERROR_CODE_ABORT_WINDOW_SIZE_OUT_OF_RANGE)},
        {1, 4, true, "abort id=2 service=10", DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT)}};
    open([](IP::BACnetIPNetwork::Settings& settings) { settings.transactions.segmentTimeoutMs = 500; });
    bind(device, DEVICE);
    Poco::UInt32 transactionId = 0;
    for (const Case& aCase : cases)
    {
        network->sendReadProperty(++transactionId, objectNameOf(DEVICE));
        const Poco::UInt8 invokeId = static_cast<Poco::UInt8>(transactionId - 1);
        device.receive();
        for (unsigned sequence = 0; sequence < aCase.segments; ++sequence)
            answer(device, segment(invokeId, sequence, aCase.window, true, Octets(20, 0x75)));
        if (aCase.stall)
        {
            EXPECT_THAT(device.receive().describe(), HasSubstr("segment-ack id=2 seq=0"));
            clock.advance(600);
        }
        std::string sent;
        while (sent.find("abort") == std::string::npos)
            sent = device.receive().describe();
        EXPECT_THAT(sent, HasSubstr(aCase.abort)) << transactionId;
        EXPECT_EQ(errorIn(listener.firstReply(transactionId)), aCase.error) << transactionId;
    }
}

TEST_F(IPNetworkTest, IAmFloodKeepsTheBindingsBoundedAndAForgottenDeviceIsFoundAgain)
{
    open([](IP::BACnetIPNetwork::Settings& settings) { settings.maxDevices = 8; });
    for (Poco::UInt32 instance = 1000; instance < 1300; ++instance)
        answer(device, iAm(instance));
    ASSERT_TRUE(listener.waitUntil([&] { return listener.iAms.size() == 300; }));

    network->sendReadProperty(1, objectNameOf(1299));
    EXPECT_THAT(device.receive().describe(), HasSubstr("read-property device:1299 object-name"));
    network->sendReadProperty(2, objectNameOf(1000));
    EXPECT_EQ(device.receive().describe(),
              "broadcast | to 65535/ hops=255 | unconfirmed service=8 who-is 1000..1000");
    bind(device, 1000);
    EXPECT_THAT(device.receive().describe(), HasSubstr("read-property device:1000 object-name"));
}

TEST_F(IPNetworkTest, ASecondStationWithTheInstanceGetsItsRequestsOnlyAfterTheFirstTimedOut)
{
    open();
    UdpPeer twin;
    const auto iAmFrom = [&](UdpPeer& peer, std::size_t heard)
    {
        answer(peer, iAm(DEVICE));
        ASSERT_TRUE(listener.waitUntil([&] { return listener.iAms.size() == heard; }));
    };
    iAmFrom(device, 1);
    iAmFrom(twin, 2);
    network->sendReadProperty(1, objectNameOf(DEVICE));
    for (int tries = 0; tries < 2; ++tries, clock.advance(1000))
        EXPECT_THAT(receiveRequest().text, HasSubstr("read-property"));
    EXPECT_EQ(errorIn(listener.firstReply(1)), DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT));
    iAmFrom(twin, 3);
    network->sendReadProperty(2, objectNameOf(DEVICE));
    EXPECT_THAT(twin.receive().describe(), HasSubstr("read-property"));
}

TEST_F(IPNetworkTest, ReadPropertyMultipleIsSplitUntilTheDeviceTakesItAndTheAnswersAreMerged)
{
    open();
    bind(device, DEVICE);
    const DataType::ObjectIdentifier deviceObject(OBJECT_DEVICE, DEVICE);
    const DataType::ObjectIdentifier input(OBJECT_ANALOG_INPUT, 1);
    network->sendReadPropertyMultiple(
        1, DEVICE,
        {{deviceObject, {DataPropertyRef(PROP_OBJECT_NAME), DataPropertyRef(PROP_VENDOR_NAME)}},
         {input, {DataPropertyRef(PROP_PRESENT_VALUE)}}});
    // The device takes one property at a time and aborts anything larger.
    std::vector<std::string> requests;
    for (int i = 0; i < 5; ++i)
    {
        const Request request = receiveRequest();
        requests.push_back(request.text.substr(request.text.find("read-property-multiple ")));
        const auto& asked = request.asked;
        if (asked.size() > 1 || asked[0].properties.size() > 1)
        {
            abortTooLarge(request.invokeId);
            continue;
        }
        const ValueContainer value(BACnetValue("v" + std::to_string(request.invokeId)));
        answer(device,
               rpmAck(request.invokeId, {{asked[0].objectIdentifier, {{asked[0].properties[0], value}}}}));
    }
    EXPECT_EQ(requests,
              (std::vector<std::string>{
                  "read-property-multiple device:100: object-name vendor-name analog-input:1: present-value",
                  "read-property-multiple device:100: object-name",
                  "read-property-multiple device:100: vendor-name analog-input:1: present-value",
                  "read-property-multiple device:100: vendor-name",
                  "read-property-multiple analog-input:1: present-value"}));
    const NetworkReply reply = listener.firstReply(1);
    const auto& results = std::get<std::vector<DataResponseRPM>>(reply.payload);
    ASSERT_EQ(results.size(), 2u);
    ASSERT_EQ(results[0].values.size(), 2u);
    EXPECT_EQ(results[0].values[0].value.getCharString(), "v1");
    EXPECT_EQ(results[0].values[1].value.getCharString(), "v3");
    EXPECT_EQ(results[1].objectIdentifier, input);
    EXPECT_EQ(results[1].values.at(0).value.getCharString(), "v4");
}

TEST_F(IPNetworkTest, ArrayTooLargeForOneAnswerIsReadByItsElements)
{
    open();
    bind(device, DEVICE, 480);
    const DataPropertyKey objectList(DEVICE, DataType::ObjectIdentifier(OBJECT_DEVICE, DEVICE),
                                     DataPropertyRef(PROP_OBJECT_LIST));
    const auto element = [](Poco::UInt32 index)
    { return ValueContainer(BACnetValue(DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, index))); };
    // The device refuses the whole list, has three objects, and reads several at once or rejects that.
    std::vector<std::string> asked{
        "read-property device:100 object-list", "read-property device:100 object-list[0]",
        "read-property-multiple device:100: object-list[1] object-list[2] object-list[3]"};
    for (const bool withMultiple : {true, false})
    {
        const Poco::UInt32 transactionId = withMultiple ? 1 : 2;
        if (!withMultiple)
        {
            for (const char* index : {"1", "2", "3"})
                asked.push_back(std::string("read-property device:100 object-list[") + index + "]");
        }
        network->sendReadProperty(transactionId, objectList);
        for (const std::string& expected : asked)
        {
            const Request request = receiveRequest();
            EXPECT_THAT(request.text, HasSubstr(expected));
            if (!request.asked.empty() && !withMultiple)
            {
                answer(device,
                       Apdu::encode(pdu(Apdu::REJECT, request.invokeId, REJECT_REASON_UNRECOGNIZED_SERVICE)));
            }
            else if (!request.asked.empty())
            {
                ReadPropertyMultiple::ObjectResult result{DataType::ObjectIdentifier(OBJECT_DEVICE, DEVICE),
                                                          {}};
                for (const PropertyReference& property : request.asked.at(0).properties)
                    result.results.emplace_back(property, element(property.arrayIndex));
                answer(device, rpmAck(request.invokeId, {result}));
            }
            else if (const std::size_t bracket = request.text.find("object-list[");
                     bracket == std::string::npos)
            {
                abortTooLarge(request.invokeId);
            }
            else
            {
                const auto index = static_cast<Poco::UInt32>(std::stoul(request.text.substr(bracket + 12)));
                const ValueContainer value =
                    index == 0 ? ValueContainer(BACnetValue(std::uint64_t{3})) : element(index);
                answer(device, complexAck(request.invokeId, ReadProperty::_SERVICE,
                                          readAck(value, PropertyReference(PROP_OBJECT_LIST, index))));
            }
        }
        const NetworkReply reply = listener.firstReply(transactionId);
        const auto* pList = std::get_if<ValueContainer>(&reply.payload);
        ASSERT_NE(pList, nullptr) << errorIn(reply).getString();
        EXPECT_EQ(pList->getStructure(), BACNET_DTS_ARRAY);
        EXPECT_EQ(pList->getText(), "[analog-input:1, analog-input:2, analog-input:3]") << withMultiple;
    }
}

TEST_F(IPNetworkTest, DeviceBehindARouterIsReachedThroughItOneRequestAtATime)
{
    open();
    UdpPeer router;
    bind(router, 400, 480, routedFrom(5, "0a"));
    EXPECT_EQ(listener.iAms.back().address.getNetworkNumber(), 5);
    network->sendReadProperty(1, objectNameOf(400));
    network->sendReadProperty(2, objectNameOf(400));
    EXPECT_EQ(router.receive().describe(),
              "unicast | reply to 5/0a hops=255 | confirmed id=0 apdu=1476 segments=64 accepts-segments "
              "service=12 read-property device:400 object-name");
    EXPECT_FALSE(router.receivesAny(200));  // the second waits for the first
    answer(router, complexAck(0, ReadProperty::_SERVICE, nameAck("Remote", 400)), routedFrom(5, "0a"));
    EXPECT_EQ(nameIn(listener.firstReply(1)), "Remote");

    EXPECT_THAT(router.receive().describe(), HasSubstr("id=1"));
    // Reject-Message-To-Network: no route to network 5.
    router.send(Packet::fromHex("81 0a 00 0a | 01 80 | 03 01 00 05"), network->localAddress());
    EXPECT_EQ(errorIn(listener.firstReply(2)),
              DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_NOT_ROUTER_TO_DNET));
}

TEST_F(IPNetworkTest, DevicesBehindOneRouterShareItsLimitAndWaitInTurn)
{
    open([](IP::BACnetIPNetwork::Settings& settings) { settings.maxOutstandingOnNetwork[6] = 1; });
    UdpPeer router;
    const std::vector<std::tuple<Poco::UInt32, Poco::UInt16, std::string>> devices{
        {401, 5, "0a"}, {402, 5, "0b"}, {403, 5, "0c"}, {601, 6, "0a"}, {602, 6, "0b"}};
    Poco::UInt32 transactionId = 0;
    for (const auto& [instance, networkNumber, mac] : devices)
    {
        bind(router, instance, 480, routedFrom(networkNumber, mac));
        network->sendReadProperty(++transactionId, objectNameOf(instance));
    }
    // Two on network 5 (the default), one on network 6 (its own limit).
    std::set<std::string> first;
    for (int i = 0; i < 3; ++i)
        first.insert(router.receive().describe().substr(0, 25));
    EXPECT_EQ(first, (std::set<std::string>{"unicast | reply to 5/0a h", "unicast | reply to 5/0b h",
                                            "unicast | reply to 6/0a h"}));
    EXPECT_FALSE(router.receivesAny(200));
    answer(router, complexAck(0, ReadProperty::_SERVICE, nameAck("B", 402)), routedFrom(5, "0b"));
    EXPECT_EQ(nameIn(listener.firstReply(2)), "B");
    EXPECT_THAT(router.receive().describe(), StartsWith("unicast | reply to 5/0c"));
    EXPECT_FALSE(router.receivesAny(200));
}

TEST_F(IPNetworkTest, ForeignDeviceRegistersRenewsAndBroadcastsThroughTheBBMD)
{
    UdpPeer bbmd;
    open(
        [&](IP::BACnetIPNetwork::Settings& settings)
        {
            settings.bbmd = bbmd.address();
            settings.bbmdTimeToLiveSeconds = 60;
        });
    EXPECT_EQ(bbmd.receive().describe(), "register ttl=60");
    bbmd.send(Packet::fromHex("81 00 00 06 00 00"), network->localAddress());  // BVLC-Result: registered
    // Broadcasts stay local until the registration is confirmed, then go through the BBMD.
    std::string distributed;
    for (int i = 0; i < 250 && distributed.empty(); ++i)
    {
        network->sendWhoIs(DataType::BACnetAddress(), 0, 4194303);
        if (device.receivesAny(20))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        else
            distributed = bbmd.receive().describe();
    }
    EXPECT_EQ(distributed, "distribute | to 65535/ hops=255 | unconfirmed service=8 who-is");

    // An I-Am forwarded by the BBMD binds the station it came from, not the BBMD.
    Bvll::Message forwarded;
    forwarded.function = Bvll::FORWARDED_NPDU;
    std::memcpy(forwarded.originalSource.address.data(), device.address().host().addr(), 4);
    forwarded.originalSource.port = device.address().port();
    const Octets npdu = Npdu::encode(Npdu::Header(), iAm(300));
    forwarded.payload = npdu;
    bbmd.send(Bvll::encode(forwarded), network->localAddress());
    ASSERT_TRUE(listener.waitUntil(
        [&] { return !listener.iAms.empty() && listener.iAms.back().deviceInstance == 300; }));
    network->sendReadProperty(1, objectNameOf(300));
    EXPECT_THAT(device.receive().describe(), HasSubstr("read-property device:300 object-name"));

    clock.advance(30000);
    EXPECT_EQ(bbmd.receive().describe(), "register ttl=60");
}

TEST_F(IPNetworkTest, RequestsToThisStationAreAnsweredAsTheStandardSays)
{
    open();
    // A confirmed COV notification (present value 21.5), one cut short, a ReadProperty, a segmented
    // request, a BVLL function of a BBMD.
    const std::pair<const char*, const char*> table[] = {
        {"81 0a 00 23 | 01 00 | 00 05 01 01 09 07 1c 02 00 00 64 2c 00 00 00 01 39 00 4e 09 55 2e 44 41 ac "
         "00 00 2f 4f",
         "unicast | | simple-ack id=1 service=1"},
        {"81 0a 00 0b | 01 00 | 00 05 02 01 09",
         "unicast | | reject id=2 service=0 ! communication/reject-other"},
        {"81 0a 00 11 | 01 00 | 00 05 03 0c 0c 02 00 00 01 19 4d",
         "unicast | | reject id=3 service=9 ! communication/reject-unrecognized-service"},
        {"81 0a 00 0d | 01 00 | 0c 05 04 00 01 0c 09",
         "unicast | | abort id=4 server service=4 ! communication/abort-segmentation-not-supported"},
        {"81 05 00 06 00 3c", "result 48"}};
    for (const auto& row : table)
    {
        device.send(Packet::fromHex(row.first), network->localAddress());
        EXPECT_EQ(device.receive().describe(), row.second);
    }
    ASSERT_TRUE(listener.waitUntil([&] { return listener.notifications.size() == 1; }));
    EXPECT_TRUE(listener.notifications[0].confirmed);
    EXPECT_EQ(listener.notifications[0].values.at(0).value.getReal(), 21.5f);
}

TEST_F(IPNetworkTest, OwnDeviceAndRequestsTooLargeForTheDeviceEndAtOnce)
{
    open();
    bind(device, DEVICE, 50);
    network->sendReadProperty(1, objectNameOf(1));
    network->sendWriteProperty(2,
                               DataPropertyKey(DEVICE, DataType::ObjectIdentifier(OBJECT_DEVICE, DEVICE),
                                               DataPropertyRef(PROP_DESCRIPTION)),
                               0, ValueContainer(BACnetValue(std::string(100, 'x'))));
    ASSERT_TRUE(listener.waitUntil([&] { return listener.replies.size() == 2; }));
    EXPECT_EQ(errorIn(listener.repliesOf(1).at(0)),
              DataError(ERROR_CLASS_SERVICES, ERROR_CODE_OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED));
    EXPECT_EQ(errorIn(listener.repliesOf(2).at(0)),
              DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_APDU_TOO_LONG));
    EXPECT_FALSE(device.receivesAny(100));
}

TEST_F(IPNetworkTest, ItsOwnDeviceAnswersItsClientLocallyAndTheNetworkOnItsSocket)
{
    open(
        [](IP::BACnetIPNetwork::Settings& settings) {
            settings.ownDevice =
                Device::Site::parse(R"({"devices": [{"instance": 1, "name": "Own"}]})", "own");
        });
    network->sendReadProperty(1, objectNameOf(1));
    EXPECT_EQ(nameIn(listener.firstReply(1)), "Own");
    EXPECT_FALSE(device.receivesAny(100)) << "nothing on the wire";
    // Another station's Who-Is and ReadProperty reach the device at the station's address; the station's
    // own I-Am coming back from the network is no second device.
    device.send(Packet::fromHex("81 0a 00 08 01 00 10 08"), network->localAddress());
    EXPECT_THAT(device.receive().describe(), HasSubstr("i-am device:1 "));
    device.send(
        datagram(Apdu::encode(pdu(Apdu::CONFIRMED_REQUEST, 3, ReadProperty::_SERVICE),
                              ReadProperty::encodeRequest({DataType::ObjectIdentifier(OBJECT_DEVICE, 1),
                                                           PropertyReference(PROP_OBJECT_NAME)}))),
        network->localAddress());
    EXPECT_THAT(device.receive().describe(), StartsWith("unicast | | complex-ack id=3"));
    device.send(datagram(iAm(1)), network->localAddress());
    network->sendWhoIs(DataType::BACnetAddress(), 0, 4194303);
    ASSERT_TRUE(listener.waitUntil([&] { return !listener.iAms.empty(); }));
    EXPECT_FALSE(listener.waitUntil([&] { return listener.iAms.size() > 1; }, 200));
}

TEST_F(IPNetworkTest, ReadRangeAsksForWhatOneAnswerHoldsAndReportsMoreWhenItCutTheCount)
{
    open();
    bind(device, DEVICE, 100);  // room for two records
    const DataPropertyKey log(DEVICE, DataType::ObjectIdentifier(OBJECT_TRENDLOG, 1),
                              DataPropertyRef(PROP_LOG_BUFFER));
    ReadRange::Range range;
    range.requestType = ReadRange::RT_BY_SEQUENCE;
    range.refSeqNum = 1;
    // Asked count, what goes on the wire, the flags of the answer (two records, the first of the buffer).
    const std::vector<std::tuple<Poco::Int32, std::string, Poco::UInt32>> table{{134217727, "count 2", 5},
                                                                                {2, "count 2", 1}};
    Poco::UInt32 transactionId = 0;
    for (const auto& row : table)
    {
        range.count = std::get<0>(row);
        network->sendReadRange(++transactionId, log, range);
        EXPECT_THAT(device.receive().describe(), HasSubstr(std::get<1>(row)));
        Octets ack = Packet::fromHex(
            "81 0a 00 43 01 00 30 07 1a 0c 05 00 00 01 19 83 3a 05 80 49 02 5e 0e a4 7c 03 05 02 b4 0e 00 00 "
            "00 0f "
            "1e 2c 42 91 00 00 1f 2a 04 00 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 8e 91 07 91 1e 8f 1f 5f 69 "
            "01");
        ack[7] = static_cast<std::uint8_t>(transactionId - 1);  // the invoke id
        device.send(ack, network->localAddress());
        const NetworkReply reply = listener.firstReply(transactionId);
        const auto& result = std::get<ReadRangeAck::Result>(reply.payload);
        EXPECT_EQ(result.itemCnt, 2u);
        EXPECT_EQ(result.resultFlags, std::get<2>(row)) << std::get<0>(row);
    }

    // A device that aborts the answer for its size is asked for half as many, down to one record.
    range.count = 2;
    network->sendReadRange(3, log, range);
    for (const char* asked : {"count 2", "count 1"})
    {
        const Request request = receiveRequest();
        EXPECT_THAT(request.text, HasSubstr(asked));
        abortTooLarge(request.invokeId);
    }
    EXPECT_EQ(errorIn(listener.firstReply(3)),
              DataError(ERROR_CLASS_ABORT, ERROR_CODE_ABORT_SEGMENTATION_NOT_SUPPORTED));
}

TEST_F(IPNetworkTest, ReadRangePagesAreAsFullAsTheDeviceAllowsAndNoFuller)
{
    // orvik-site's devices: a REAL log of 10 000 records and a log of three REAL channels, at 480 and 1476
    // octets; 20 and 65 REAL records fit into one answer.
    const std::string log = R"("log": { "start": "2026-01-01T00:00:00Z", "count": %u })";
    const std::string device = R"({ "instance": %u, "name": "D%u", "maxApdu": %u, "objects": [
        { "type": "analog-input", "instance": 1, "name": "T", "presentValue": 20.0 },
        { "type": "trend-log", "instance": 1, "name": "L", "logs": "analog-input:1", )" +
                               log + R"( },
        { "type": "trend-log-multiple", "instance": 1, "name": "M",
          "logs": ["analog-input:1", "analog-input:1", "analog-input:1"], )" +
                               log + " } ] }";
    const std::unique_ptr<Device::Site> pSite =
        Device::Site::parse("{ \"devices\": [" + Poco::format(device, 480u, 480u, 480u, 10000u, 300u) + ", " +
                                Poco::format(device, 1476u, 1476u, 1476u, 10000u, 300u) + "] }",
                            "test");
    Device::IP::SiteServer server(*pSite, Device::IP::SiteServer::Settings());
    server.start();
    open(
        [&](IP::BACnetIPNetwork::Settings& settings)
        {
            for (const Device::IP::SiteServer::Endpoint& endpoint : server.endpoints())
                settings.staticBindings.push_back(
                    {endpoint.instance, endpoint.address, {}, endpoint.instance});
        });
    // Device (its instance is its max APDU), log, records, pages (the first page planned at the
    // conservative size).
    const std::vector<std::tuple<Poco::UInt32, BACNET_OBJECT_TYPE, Poco::UInt32, Poco::UInt32>> table{
        {480, OBJECT_TRENDLOG, 10000, 1 + (10000 - 18 + 19) / 20},
        {1476, OBJECT_TRENDLOG, 10000, 1 + (10000 - 60 + 64) / 65},
        {480, OBJECT_TREND_LOG_MULTIPLE, 300, 0},
        {1476, OBJECT_TREND_LOG_MULTIPLE, 300, 0}};
    Poco::UInt32 transactionId = 0;
    for (const auto& [instance, type, records, pages] : table)
    {
        const DataPropertyKey key(instance, DataType::ObjectIdentifier(type, 1),
                                  DataPropertyRef(PROP_LOG_BUFFER));
        ReadRange::Range range;
        range.requestType = ReadRange::RT_BY_SEQUENCE;
        range.count = 32767;
        range.refSeqNum = 1;
        Poco::UInt32 read = 0;
        Poco::UInt32 pagesRead = 0;
        const Poco::UInt32 requestsBefore = pSite->getRequestCount(instance);
        for (bool more = true; more; ++pagesRead)
        {
            network->sendReadRange(++transactionId, key, range);
            const NetworkReply reply = listener.firstReply(transactionId);
            const auto& result = std::get<ReadRangeAck::Result>(reply.payload);
            read += result.itemCnt;
            range.refSeqNum = result.firstSequenceNumber + result.itemCnt;
            more = result.hasMoreItems();
        }
        EXPECT_EQ(read, records) << instance << " " << type;
        if (pages != 0)
        {
            EXPECT_EQ(pagesRead, pages) << instance;
        }
        // Only the first page may have been too full for the device (a halving): never a later one.
        EXPECT_LE(pSite->getRequestCount(instance) - requestsBefore, pagesRead + 1)
            << instance << " " << type;
    }
}

}  // namespace Orvik::BACnet::Client::Test
