#include "BACnetClient/InteropNetwork.h"
#include "BACnetClient/UdpPeer.h"
#include "Eventually.h"
#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnet/Codec/Npdu.h"
#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/ServiceHelper.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace Orvik::BACnet::Client::Test
{

using namespace Orvik::BACnet::Codec;

/// ReadRange pages over BACnet/IP reach the requester unread and are read by its waits: a page as the
/// device sent it, a malformed one as the error reply, also once the network is gone. The test is the
/// device.
TEST(NotificationResponseUnreadTest, PagesAreReadByTheRequesterAndAMalformedOneIsAnError)
{
    UdpPeer device;
    IP::BACnetIPNetwork::Settings settings = Orvik::Test::InteropNetwork::settings(device.address());
    settings.staticBindings.push_back({100, device.address(), {}, {}});
    auto pNetwork = std::make_unique<IP::BACnetIPNetwork>(settings);
    Poco::NotificationQueue requests, responses;
    ClientWorker worker(&requests, *pNetwork);
    worker.start();
    ServiceHelper helper(&requests, &responses);
    const DataPropertyKey log(100, DataType::ObjectIdentifier(OBJECT_TRENDLOG, 1),
                              DataPropertyRef(PROP_LOG_BUFFER));
    const Octets page = Codec::Test::Packet::fromHex(
        "0c 05 00 00 01 19 83 3a 05 80 49 02 5e 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 2c 42 91 00 00 1f "
        "2a 04 00 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 8e 91 07 91 1e 8f 1f 5f 69 01");
    const DataError malformed(ERROR_CLASS_COMMUNICATION, ERROR_CODE_INVALID_TAG);
    // The ACK's service data, the records read (or the error), and whether the network is gone first.
    const std::vector<std::tuple<Octets, Poco::UInt32, std::optional<DataError>, bool>> table{
        {page, 2, std::nullopt, false},
        {Octets(page.begin(), page.end() - 9), 0, malformed, false},
        {Octets{0xff, 0x0c}, 0, malformed, false},
        {page, 2, std::nullopt, true}};
    for (const auto& [ack, records, error, closeFirst] : table)
    {
        const Poco::UInt32 requestId = helper.asyncRR(log, ReadRange::Range());
        Poco::Net::SocketAddress client;
        const Apdu::Message request =
            Apdu::decode(Npdu::decode(Bvll::decode(device.receiveOctets(client, 5000)).payload).payload);
        Apdu::Header header;
        header.type = Apdu::COMPLEX_ACK;
        header.invokeId = request.header.invokeId;
        header.serviceChoice = request.header.serviceChoice;
        const Octets npdu = Npdu::encode(Npdu::Header(), Apdu::encode(header, ack));
        Bvll::Message datagram;
        datagram.payload = npdu;
        device.send(Bvll::encode(datagram), client);
        if (closeFirst)
        {
            ASSERT_TRUE(Orvik::Test::eventually([&] { return responses.size() > 0; }));
            worker.stop();
            pNetwork.reset();
        }
        ReadRangeAck::Result result;
        DataError failure;
        EXPECT_EQ(helper.awaitRR(requestId, result, &failure),
                  error ? ServiceHelper::SYNC_RESULT_FAIL : ServiceHelper::SYNC_RESULT_SUCCESS);
        EXPECT_EQ(result.itemCnt, records);
        EXPECT_EQ(failure, error.value_or(DataError()));
    }
}

}  // namespace Orvik::BACnet::Client::Test
