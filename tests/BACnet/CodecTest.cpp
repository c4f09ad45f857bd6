// The wire codec at its seam: a table of real datagrams decoded through every layer (and built again
// from the decoded records, byte for byte), malformed datagrams that must fail with a clear error,
// values of every datatype through a property value field, and records the encoders refuse.

#include <gtest/gtest.h>

#include <functional>

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "Orvik_BACnet/Codec/ValueCodec.h"
#include "Orvik_BACnet/DataType/Proprietary/VendorOrvik/BACnetTrendLogLastUploaded.h"
#include "codec/Packet.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::Codec;
using Orvik::BACnet::Codec::Test::Packet;

namespace
{

struct PacketRow
{
    const char* hex;  ///< BVLL header | BVLL fields | NPDU | APDU
    const char* meaning;
    /// False where the encoders write a shorter form than the device did (UCS-2 text as UTF-8), or
    /// where a value could not be read (it is sent back as no value).
    bool sameBytesAgain = true;
};

// Checked against the encoding rules and against Wireshark's dissector (no malformed packet, no expert
// information).
const PacketRow _PACKETS[] = {
    {"81 0b 00 0c | 01 20 ff ff 00 ff | 10 08",
     "broadcast | to 65535/ hops=255 | unconfirmed service=8 who-is"},
    {"81 0b 00 0e | 01 00 | 10 08 0a 03 e8 1a 07 d0",
     "broadcast | | unconfirmed service=8 who-is 1000..2000"},
    {"81 0b 00 11 | 01 00 | 10 07 09 0a 19 14 2c 00 00 00 01",
     "broadcast | | unconfirmed service=7 who-has 10..20 "
     "analog-input:1"},
    {"81 0b 00 0d | 01 00 | 10 07 3c 00 46 61 6e", "broadcast | | unconfirmed service=7 who-has \"Fan\""},
    {"81 0a 00 17 | 01 00 | 10 01 c4 02 00 00 0a c4 01 00 00 03 74 00 46 61 6e",
     "unicast | | unconfirmed service=1 i-have device:10 binary-output:3 \"Fan\""},
    {"81 0b 00 15 | 01 00 | 10 00 c4 02 03 f7 a1 22 05 c4 91 00 22 01 04",
     "broadcast | | unconfirmed service=0 i-am device:260001 apdu=1476 segmentation=0 vendor=260"},
    {"81 0b 00 17 | 01 08 00 05 01 17 | 10 00 c4 02 00 00 11 21 32 91 03 21 07",
     "broadcast | from 5/17 | unconfirmed service=0 i-am device:17 apdu=50 segmentation=3 vendor=7"},
    {"81 04 00 1b | c0 a8 01 0a ba c0 | 01 00 | 10 00 c4 02 03 f7 a1 22 05 c4 91 00 22 01 04",
     "forwarded from 0/192.168.1.10:47808 | | unconfirmed service=0 i-am device:260001 apdu=1476 "
     "segmentation=0 vendor=260"},
    {"81 0a 00 11 | 01 04 | 02 65 01 0c 0c 00 00 00 01 19 55",
     "unicast | reply | confirmed id=1 apdu=1476 segments=64 accepts-segments service=12 read-property "
     "analog-input:1 present-value"},
    {"81 0a 00 16 | 01 24 00 05 01 17 ff | 00 05 02 0c 0c 00 00 00 01 19 55",
     "unicast | reply to 5/17 hops=255 | confirmed id=2 apdu=1476 segments=0 service=12 read-property "
     "analog-input:1 present-value"},
    {"81 0a 00 17 | 01 00 | 30 01 0c 0c 00 00 00 01 19 55 3e 44 42 91 00 00 3f",
     "unicast | | complex-ack id=1 service=12 read-property-ack analog-input:1 present-value = 72.5"},
    {"81 0a 00 26 | 01 00 | 30 02 0c 0c 00 40 00 01 19 57 3e 00 00 00 00 00 00 00 44 41 ac 00 00 00 00 00 00 "
     "00 00 00 00 3f",
     "unicast | | complex-ack id=2 service=12 read-property-ack analog-output:1 priority-array = [null, "
     "null, null, null, null, null, null, 21.5, null, null, null, null, null, null, null, null]"},
    {"81 0a 00 20 | 01 00 | 30 0b 0c 0c 0b 00 00 01 19 57 3e 00 1e a4 7c 03 05 02 b4 0e 00 00 00 1f 00 3f",
     "unicast | | complex-ack id=11 service=12 read-property-ack datetime-value:1 priority-array = [null, "
     "2024-03-05 14:00:00.00, null]"},
    {"81 0a 00 21 | 01 00 | 30 03 0c 0c 02 03 f7 a1 19 4c 3e c4 02 03 f7 a1 c4 00 00 00 01 c4 05 00 00 01 3f",
     "unicast | | complex-ack id=3 service=12 read-property-ack device:260001 object-list = [device:260001, "
     "analog-input:1, trend-log:1]"},
    {"81 0a 00 16 | 01 00 | 30 04 0c 0c 02 03 f7 a1 19 4c 29 00 3e 21 03 3f",
     "unicast | | complex-ack id=4 service=12 read-property-ack device:260001 object-list[0] = 3"},
    {"81 0a 00 1b | 01 00 | 30 05 0c 0c 00 00 00 01 19 4d 3e 75 07 04 00 48 00 69 00 21 3f",
     "unicast | | complex-ack id=5 service=12 read-property-ack analog-input:1 object-name = Hi!", false},
    {"81 0a 00 19 | 01 00 | 30 06 0c 0c 02 03 f7 a1 1a 02 00 3e 21 05 73 00 6f 6b 3f",
     "unicast | | complex-ack id=6 service=12 read-property-ack device:260001 512 = [5, \"ok\"]"},
    {"81 0a 00 1e | 01 00 | 30 07 0c 0c 05 00 00 01 19 84 3e 0c 00 00 00 01 19 55 3c 02 03 f7 a1 3f",
     "unicast | | complex-ack id=7 service=12 read-property-ack trend-log:1 log-device-object-property = "
     "device:260001/analog-input:1.present-value"},
    {"81 0a 00 25 | 01 00 | 30 08 0c 0c 00 00 00 01 19 82 3e 2e a4 7c 03 05 02 b4 0e 00 00 00 2f 19 05 0c 0e "
     "00 00 00 3f",
     "unicast | | complex-ack id=8 service=12 read-property-ack analog-input:1 event-time-stamps = "
     "[2024-03-05 14:00:00.00, 5, 14:00:00.00]"},
    {"81 0a 00 23 | 01 00 | 30 09 0c 0c 02 03 f7 a1 19 ca 3e 0c 02 00 00 05 1e 21 00 65 06 c0 a8 01 0a ba c0 "
     "1f 3f",
     "unicast | | complex-ack id=9 service=12 read-property-ack device:260001 "
     "restart-notification-recipients = [device:5, 0/192.168.1.10:47808]"},
    {"81 0a 00 12 | 01 00 | 30 0c 0c 0c 02 03 f7 a1 19 1e 3e 3f",
     "unicast | | complex-ack id=12 service=12 read-property-ack device:260001 device-address-binding = []"},
    {"81 0a 00 2a | 01 00 | 30 0a 0c 0c 02 03 f7 a1 19 98 3e 0e 0e 0c 02 00 00 05 0f 19 12 0f 1e 0c 00 00 00 "
     "01 19 55 1f 29 01 39 78 3f",
     "unicast | | complex-ack id=10 service=12 read-property-ack device:260001 active-cov-subscriptions ! "
     "property/datatype-not-supported",
     false},
    {"81 0a 00 1e | 01 04 | 02 65 05 0e 0c 00 00 00 01 1e 09 55 09 6f 1f 0c 02 03 f7 a1 1e 09 08 1f",
     "unicast | reply | confirmed id=5 apdu=1476 segments=64 accepts-segments service=14 "
     "read-property-multiple analog-input:1: present-value status-flags device:260001: all"},
    {"81 0a 00 28 | 01 00 | 30 05 0e 0c 00 00 00 01 1e 29 55 4e 44 42 91 00 00 4f 29 6f 4e 82 04 00 4f 29 1c "
     "5e 91 02 91 20 5f 1f",
     "unicast | | complex-ack id=5 service=14 read-property-multiple-ack analog-input:1: present-value = "
     "72.5; status-flags = 0b0000; description ! property/unknown-property;"},
    {"81 0a 00 1f | 01 00 | 30 06 0e 0c 00 00 00 01 1e 29 55 4e 43 42 91 00 4f 29 6f 4e 82 04 00 4f 1f",
     "unicast | | complex-ack id=6 service=14 read-property-multiple-ack analog-input:1: present-value ! "
     "property/invalid-data-encoding; status-flags = 0b0000;",
     false},
    {"81 0a 00 1f | 01 04 | 02 65 07 1a 0c 05 00 00 01 19 83 7e a4 7c 03 05 02 b4 0e 00 00 00 31 64 7f",
     "unicast | reply | confirmed id=7 apdu=1476 segments=64 accepts-segments service=26 read-range "
     "trend-log:1 log-buffer by-time 2024-03-05 14:00:00.00 count 100"},
    {"81 0a 00 17 | 01 04 | 02 65 07 1a 0c 05 00 00 01 19 83 3e 21 01 31 9c 3f",
     "unicast | reply | confirmed id=7 apdu=1476 segments=64 accepts-segments service=26 read-range "
     "trend-log:1 log-buffer by-position 1 count -100"},
    {"81 0a 00 18 | 01 04 | 02 65 07 1a 0c 05 00 00 01 19 83 6e 22 13 88 31 fb 6f",
     "unicast | reply | confirmed id=7 apdu=1476 segments=64 accepts-segments service=26 read-range "
     "trend-log:1 log-buffer by-sequence 5000 count -5"},
    {"81 0a 00 11 | 01 04 | 02 65 07 1a 0c 05 00 00 01 19 83",
     "unicast | reply | confirmed id=7 apdu=1476 segments=64 accepts-segments service=26 read-range "
     "trend-log:1 log-buffer"},
    {"81 0a 00 43 | 01 00 | 30 07 1a 0c 05 00 00 01 19 83 3a 05 a0 49 02 5e 0e a4 7c 03 05 02 b4 0e 00 00 00 "
     "0f 1e 2c 42 91 00 00 1f 2a 04 00 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 8e 91 07 91 1e 8f 1f 5f 69 01",
     "unicast | | complex-ack id=7 service=26 read-range-ack trend-log:1 log-buffer flags=5 items=2 first=1 "
     "= [{2024-03-05 14:00:00.00, real-value: 72.5, 0b0000}, {2024-03-05 14:00:00.00, failure: "
     "communication/timeout}]"},
    {"81 0a 00 b0 | 01 00 | 30 08 1a 0c 05 00 00 01 19 83 3a 05 40 49 09 5e 0e a4 7c 03 05 02 b4 0e 00 00 00 "
     "0f 1e 0a 05 40 1f 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 19 01 1f 0e a4 7c 03 05 02 b4 0e 00 00 00 0f "
     "1e 39 03 1f 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 49 2a 1f 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 59 "
     "fe 1f 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 6a 04 a0 1f 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 78 1f "
     "0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e 9c 41 20 00 00 1f 0e a4 7c 03 05 02 b4 0e 00 00 00 0f 1e ae 74 "
     "00 61 62 63 af 1f 5f",
     "unicast | | complex-ack id=8 service=26 read-range-ack trend-log:1 log-buffer flags=2 items=9 = "
     "[{2024-03-05 14:00:00.00, log-status: 0b010}, {2024-03-05 14:00:00.00, boolean-value: true}, "
     "{2024-03-05 14:00:00.00, enum-value: 3}, {2024-03-05 14:00:00.00, unsigned-value: 42}, {2024-03-05 "
     "14:00:00.00, signed-value: -2}, {2024-03-05 14:00:00.00, bitstring-value: 0b1010}, {2024-03-05 "
     "14:00:00.00, null-value}, {2024-03-05 14:00:00.00, time-change: 10}, {2024-03-05 14:00:00.00, "
     "any-value: 0x7400616263}]"},
    {"81 0a 00 3f | 01 00 | 30 0a 1a 0c 06 c0 00 01 19 83 3a 05 00 49 02 5e 0e a4 7c 03 05 02 b4 0e 00 00 00 "
     "0f 1e 1e 1c 42 91 00 00 29 03 1f 1f 0e a4 7c 03 05 02 b4 0e 00 01 00 0f 1e 0a 05 40 1f 5f",
     "unicast | | complex-ack id=10 service=26 read-range-ack trend-log-multiple:1 log-buffer flags=0 "
     "items=2 = "
     "[{2024-03-05 14:00:00.00, real-value: 72.5}, {2024-03-05 14:00:00.00, enum-value: 3}, {2024-03-05 "
     "14:00:01.00, log-status: 0b010}]"},
    {"81 0a 00 43 | 01 00 | 30 0b 1a 0c 06 c0 00 01 19 83 3a 05 00 49 02 5e 0e a4 7c 03 05 02 b4 0e 00 00 00 "
     "0f 1e 1e 1c 42 91 00 00 29 03 1f 1f 0e a4 7c 03 05 02 b4 0e 00 01 00 0f 1e 1e 1c 42 91 00 00 1f 1f 5f",
     "unicast | | complex-ack id=11 service=26 read-range-ack trend-log-multiple:1 log-buffer flags=0 "
     "items=2 "
     "! property/datatype-not-supported",
     false},
    {"81 0a 00 17 | 01 00 | 30 09 1a 0c 05 00 00 01 19 83 3a 05 00 49 00 5e 5f",
     "unicast | | complex-ack id=9 service=26 read-range-ack trend-log:1 log-buffer flags=0 items=0 = []"},
    {"81 0a 00 16 | 01 04 | 00 05 08 0f 0c 00 40 00 01 19 55 3e 00 3f 49 08",
     "unicast | reply | confirmed id=8 apdu=1476 segments=0 service=15 write-property analog-output:1 "
     "present-value = null @8"},
    {"81 0a 00 17 | 01 04 | 00 05 09 0f 0c 01 00 00 03 19 55 3e 91 01 3f 49 10",
     "unicast | reply | confirmed id=9 apdu=1476 segments=0 service=15 write-property binary-output:3 "
     "present-value = 1 @16"},
    {"81 0a 00 09 | 01 00 | 20 08 0f", "unicast | | simple-ack id=8 service=15"},
    {"81 0a 00 16 | 01 04 | 00 05 0a 05 09 12 1c 00 00 00 01 29 01 3a 01 2c",
     "unicast | reply | confirmed id=10 apdu=1476 segments=0 service=5 subscribe-cov 18 analog-input:1 "
     "confirmed lifetime=300"},
    {"81 0a 00 11 | 01 04 | 00 05 0b 05 09 12 1c 00 00 00 01",
     "unicast | reply | confirmed id=11 apdu=1476 segments=0 service=5 subscribe-cov 18 analog-input:1 "
     "cancel"},
    {"81 0a 00 1e | 01 04 | 00 05 0c 1c 09 07 1c 00 00 00 01 29 00 39 00 4e 09 55 4f 5c 3f 00 00 00",
     "unicast | reply | confirmed id=12 apdu=1476 segments=0 service=28 subscribe-cov 7 analog-input:1 "
     "present-value unconfirmed lifetime=0 increment=0.5"},
    {"81 0a 00 28 | 01 00 | 10 02 09 12 1c 02 03 f7 a1 2c 00 00 00 01 39 78 4e 09 55 2e 44 42 91 00 00 2f 09 "
     "6f 2e 82 04 00 2f 4f",
     "unicast | | unconfirmed service=2 cov-notification 18 device:260001 analog-input:1 remaining=120 "
     "present-value = 72.5; status-flags = 0b0000;"},
    {"81 0a 00 25 | 01 04 | 00 05 0d 01 09 12 1c 02 03 f7 a1 2c 00 00 00 01 39 78 4e 09 55 2e 44 42 91 00 00 "
     "2f 39 08 4f",
     "unicast | reply | confirmed id=13 apdu=1476 segments=0 service=1 cov-notification 18 device:260001 "
     "analog-input:1 remaining=120 present-value = 72.5 @8;"},
    {"81 0a 00 0d | 01 00 | 50 01 0c 91 02 91 20",
     "unicast | | error id=1 service=12 ! property/unknown-property"},
    {"81 0a 00 09 | 01 00 | 60 01 09",
     "unicast | | reject id=1 service=9 ! communication/reject-unrecognized-service"},
    {"81 0a 00 09 | 01 00 | 71 01 04",
     "unicast | | abort id=1 server service=4 ! communication/abort-segmentation-not-supported"},
    {"81 0a 00 11 | 01 00 | 3c 07 00 04 0e 0c 00 00 00 01 1e",
     "unicast | | complex-ack id=7 seq=0 window=4 more service=14"},
    {"81 0a 00 0a | 01 00 | 40 07 00 04", "unicast | | segment-ack id=7 seq=0 window=4"},
    {"81 0a 00 0a | 01 00 | 43 07 02 04", "unicast | | segment-ack id=7 seq=2 window=4 nak server"},
    {"81 00 00 06 | 00 30", "result 48"},
    {"81 05 00 06 | 00 3c", "register ttl=60"},
    {"81 09 00 0c | 01 20 ff ff 00 ff | 10 08",
     "distribute | to 65535/ hops=255 | unconfirmed service=8 who-is"},
    {"81 0a 00 0a | 01 80 | 03 01 00 05",
     "unicast | network-message 3 reason=1 ! communication/not-router-to-dnet network=5"},
    {"81 0b 00 0b | 01 80 | 01 00 05 00 06", "broadcast | network-message 1 5 6"},
};

struct MalformedRow
{
    const char* hex;
    const char* error;  ///< part of the DecodeError's text
};

const MalformedRow _MALFORMED[] = {
    {"", "BACnet/IP header cut short"},
    {"82 0a 00 06 | 01 00", "Not a BACnet/IP datagram"},
    {"81 0a 00 09 | 01 00 | 10 08", "length field differs from the datagram"},
    {"81 0d 00 04", "Unknown BACnet/IP function"},
    {"81 04 00 08 | c0 a8 01 0a", "BACnet/IP header cut short"},
    {"81 0a 00 08 | 02 00 10 08", "NPDU version 2"},
    {"81 0a 00 14 | 01 20 00 05 08 01 02 03 04 05 06 07 08 ff | 10 08", "destination MAC of 8 octets"},
    {"81 0a 00 0c | 01 20 00 00 00 ff | 10 08", "destination network 0"},
    {"81 0a 00 0b | 01 08 00 05 00 | 10 08", "NPDU source is a broadcast"},
    {"81 0a 00 07 | 01 20 ff", "NPDU cut short"},
    {"81 0a 00 09 | 01 80 | 03 01 00", "network layer message cut short"},
    {"81 0a 00 08 | 01 00 | 80 00", "Reserved APDU type"},
    {"81 0a 00 11 | 01 04 | 00 06 01 0c 0c 00 00 00 01 19 55", "Reserved max-APDU code"},
    {"81 0a 00 08 | 01 04 | 00 05", "APDU header cut short"},
    {"81 0a 00 0a | 01 00 | 20 01 0f 00", "Octets after an APDU that carries no service data"},
    {"81 0a 00 09 | 01 00 | 10 00 c6", "application tag with the opening or closing form"},
    {"81 0a 00 15 | 01 00 | 10 00 c4 00 00 00 01 22 05 c4 91 00 22 01 04",
     "I-Am from an object that is not a device"},
    {"81 0a 00 0b | 01 00 | 10 08 0a 03 e8", "field missing at the end of the data"},
    {"81 0a 00 16 | 01 00 | 10 08 0d 09 01 02 03 04 05 06 07 08 09 1a 07 d0", "Unsigned of 9 octets"},
    {"81 0a 00 15 | 01 00 | 30 01 0c 0c 00 00 00 01 19 55 3e 45 c8 42 3f",
     "value of 200 octets where 2 remain"},
    {"81 0a 00 0c | 01 00 | 30 01 0c 0d ff 00", "extended length cut short"},
    {"81 0a 00 0b | 01 00 | 30 01 0c f9 ff", "extended tag number cut short or reserved"},
    {"81 0a 00 17 | 01 00 | 30 01 0c 0c 00 00 00 01 19 55 3e 44 42 91 00 00 4f",
     "closing tag 4 does not match opening tag 3"},
    {"81 0a 00 16 | 01 00 | 30 01 0c 0c 00 00 00 01 19 55 3e 44 42 91 00 00",
     "field missing at the end of the data"},
    {"81 0a 00 34 | 01 00 | 30 01 0c 0c 00 00 00 01 19 55 3e 0e 0e 0e 0e 0e 0e 0e 0e 0e 0e 0e 0e 0e 0e 0e 0e "
     "0e 0f 0f 0f 0f 0f 0f 0f 0f 0f 0f 0f 0f 0f 0f 0f 0f 0f 3f",
     "values nested deeper than 16"},
    {"81 0a 00 13 | 01 04 | 00 05 01 0c 0c 00 00 00 01 19 55 39 01",
     "unexpected octets after the last field"},
    {"81 0a 00 17 | 01 04 | 02 65 07 1a 0c 05 00 00 01 19 83 3e 21 01 21 0a 3f", "count is not an INTEGER"},
    {"81 0a 00 17 | 01 04 | 02 65 07 1a 0c 05 00 00 01 19 83 4e 21 01 31 01 4f", "Unknown ReadRange range"},
    {"81 0a 00 0e | 01 00 | 50 01 0c 92 ff ff 91 00", "Error class out of range"},
    {"81 0a 00 16 | 01 04 | 00 05 08 0f 0c 00 40 00 01 19 55 3e 82 08 00 3f",
     "BIT STRING with a wrong count of unused bits"},
    {"81 0a 00 18 | 01 04 | 00 05 08 0f 0c 00 40 00 01 19 4d 3e 74 04 00 41 42 3f",
     "UCS-2 text of an odd number of octets"},
    {"81 0a 00 16 | 01 04 | 00 05 08 0f 0c 00 40 00 01 19 55 3e 00 3f 49 11", "priority out of range"},
    {"81 0a 00 23 | 01 00 | 10 02 09 12 1c 02 03 f7 a1 2c 00 00 00 01 39 78 4e 09 55 2e 44 42 91 00 00 2f 39 "
     "00 4f",
     "priority out of range"},
};

constexpr std::uint32_t _PROPRIETARY = 9999;

struct ValueRow
{
    const char* text;
    BACnetDataType dataType;
    BACNET_OBJECT_TYPE objectType = OBJECT_DEVICE;
    std::uint32_t property = _PROPRIETARY;
    BACNET_DATATYPE_STRUCTURE structure = BACNET_DTS_SINGLE_VALUE;
};

const ValueRow _VALUES[] = {
    {"null", BACNET_DT_NULL},
    {"false", BACNET_DT_BOOLEAN},
    {"18446744073709551615", BACNET_DT_UNSIGNED},
    {"-1099511627776", BACNET_DT_SIGNED},
    {"-128", BACNET_DT_SIGNED},
    {"-inf", BACNET_DT_REAL},
    {"1e+300", BACNET_DT_DOUBLE},
    {"0x", BACNET_DT_OCTET_STRING},
    {"0b101100101", BACNET_DT_BIT_STRING},
    {"\"Hall \\\"A\\\" \xe2\x82\xac\"", BACNET_DT_CHARACTER_STRING},
    {"4294967295", BACNET_DT_ENUMERATED},
    {"*-13-32 *", BACNET_DT_DATE},
    {"14:03:07.12", BACNET_DT_TIME},
    {"1023:4194303", BACNET_DT_OBJECT_IDENTIFIER},
    {"[null, 21.5, null]", BACNET_DT_REAL, OBJECT_ANALOG_OUTPUT, PROP_PRIORITY_ARRAY, BACNET_DTS_ARRAY},
    {"2024-03-05 14:03:07.12", BACNET_DT_DATE_TIME, OBJECT_BINARY_INPUT, PROP_CHANGE_OF_STATE_TIME},
    {"[14:03:07.00, 4294967295, 2024-03-05 14:03:07.12]", BACNET_DT_TIME_STAMP, OBJECT_ANALOG_INPUT,
     PROP_EVENT_TIME_STAMPS, BACNET_DTS_ARRAY},
    {"analog-input:5.present-value[3]", BACNET_DT_OBJECT_PROPERTY_REFERENCE, OBJECT_ANALOG_INPUT,
     PROP_EVENT_ALGORITHM_INHIBIT_REF},
    {"[device:7/trend-log:3, trend-log:4]", BACNET_DT_DEVICE_OBJECT_REFERENCE, OBJECT_STRUCTURED_VIEW,
     PROP_SUBORDINATE_LIST, BACNET_DTS_ARRAY},
    {"device:7/analog-value:1.priority-array[8]", BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE, OBJECT_TRENDLOG,
     PROP_LOG_DEVICE_OBJECT_PROPERTY},
    {"[{2024-03-05 14:03:07.12, real-value: 21.5, 0b0100}, {2024-03-05 14:03:08.00, failure: communication/"
     "timeout}, {2024-03-05 14:03:09.00, any-value: 0x4441ac0000}, {2024-03-05 14:03:10.00, null-value, "
     "0b1111}, {2024-03-05 14:03:11.00, log-status: 0b010}, {2024-03-05 14:03:12.00, time-change: -3.5}, "
     "{2024-03-05 14:03:13.00, bitstring-value: 0b10000000000000000000000000000000000000000000000000000000"
     "00000001}, {2024-03-05 14:03:14.00, signed-value: -9223372036854775808}, {2024-03-05 14:03:15.00, "
     "unsigned-value: 0}, {2024-03-05 14:03:16.00, enum-value: 2}, {2024-03-05 14:03:17.00, boolean-value: "
     "false}]",
     BACNET_DT_LOG_RECORD, OBJECT_TRENDLOG, PROP_LOG_BUFFER},
    {"[]", BACNET_DT_LOG_RECORD, OBJECT_TRENDLOG, PROP_LOG_BUFFER}};

/// `value` as a ReadProperty-ACK of `property` of (objectType, 1), and what decoding that ACK gives.
ReadProperty::Ack throughReadPropertyAck(BACNET_OBJECT_TYPE objectType, std::uint32_t property,
                                         const ValueContainer& value)
{
    ReadProperty::Ack ack;
    ack.objectIdentifier = DataType::ObjectIdentifier(objectType, 1);
    ack.property = PropertyReference(static_cast<BACNET_PROPERTY_ID>(property));
    ack.value = value;
    return ReadProperty::decodeAck(ReadProperty::encodeAck(ack));
}

}  // namespace

TEST(CodecTest, RealDatagramsDecodeToTheirMeaningAndEncodeAgain)
{
    for (const PacketRow& row : _PACKETS)
    {
        const Octets datagram = Packet::fromHex(row.hex);
        const Packet packet = Packet::decode(datagram);
        EXPECT_EQ(packet.describe(), row.meaning) << row.hex;
        if (row.sameBytesAgain)
        {
            EXPECT_EQ(Packet::toHex(packet.encode()), Packet::toHex(datagram)) << row.meaning;
        }
        else if (std::string(row.meaning).find("! property/") == std::string::npos)
        {
            EXPECT_EQ(Packet::decode(packet.encode()).describe(), row.meaning);
        }
        // Cut short anywhere, with a BVLL length that agrees: a shorter packet or a DecodeError, nothing
        // else (the fuzz targets replay these packets with the sanitizers).
        for (std::size_t size = Bvll::_HEADER_SIZE; size < datagram.size(); ++size)
        {
            Octets cut(datagram.begin(), datagram.begin() + size);
            cut[3] = static_cast<std::uint8_t>(size);
            try
            {
                Packet::decode(cut);
            }
            catch (const DecodeError&)
            {
            }
        }
    }
}

TEST(CodecTest, MalformedDatagramsFailWithAClearError)
{
    for (const MalformedRow& row : _MALFORMED)
    {
        const Octets datagram = Packet::fromHex(row.hex);
        try
        {
            Packet::decode(datagram);
            ADD_FAILURE() << "decoded: " << row.hex;
        }
        catch (const DecodeError& e)
        {
            EXPECT_NE(e.displayText().find(row.error), std::string::npos)
                << row.hex << ": " << e.displayText();
        }
    }
}

TEST(CodecTest, ValuesOfEveryDatatypeComeBackFromAPropertyValueField)
{
    for (const ValueRow& row : _VALUES)
    {
        ValueContainer value;
        ASSERT_TRUE(value.setText(row.dataType, BACNET_APPLICATION_TAG_NULL, row.text, true)) << row.text;
        if (row.structure == BACNET_DTS_ARRAY)
            value.setStructure(BACNET_DTS_ARRAY);
        const ReadProperty::Ack ack = throughReadPropertyAck(row.objectType, row.property, value);
        EXPECT_FALSE(ack.error.hasError()) << row.text;
        EXPECT_EQ(ack.value, value) << row.text << " came back as " << ack.value.getText();
    }
    // The extended length forms of one, two and four octets.
    for (std::size_t size : {253u, 254u, 65535u, 65536u})
    {
        ValueContainer value;
        value.setCharString(std::string(size, 'x'));
        EXPECT_EQ(throughReadPropertyAck(OBJECT_DEVICE, _PROPRIETARY, value).value, value) << size;
    }
}

TEST(CodecTest, ExtendedTagNumbersAndLengthsReadBack)
{
    Encoder out;
    out.writeOpening(200);
    out.writeUnsigned(15, 0x123456789ull);
    out.writeContextValue(254, BACnetValue::makeOctetString(std::string(300, '\x7f')));
    out.writeClosing(200);
    Decoder in(out.octets());
    Decoder field = in.readEnclosed(200);
    EXPECT_EQ(field.readUnsigned(15), 0x123456789ull);
    EXPECT_EQ(field.readContextValue(254, BACNET_APPLICATION_TAG_OCTET_STRING),
              BACnetValue::makeOctetString(std::string(300, '\x7f')));
    EXPECT_TRUE(field.atEnd());
    EXPECT_TRUE(in.atEnd());
}

TEST(CodecTest, EncodersRefuseWhatHasNoEncoding)
{
    WriteProperty::Request write;
    write.value.setReal(1.0f);
    write.priority = 17;
    const auto readRange = [](int count)
    {
        ReadRange::Request read;
        read.range.type = ReadRange::BY_POSITION;
        read.range.count = count;
        return ReadRange::encodeRequest(read);
    };
    ValueContainer uploadPosition;
    uploadPosition.setValue(DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded());
    Npdu::Header toNetwork0;
    toNetwork0.hasDestination = true;
    toNetwork0.destination.setNetworkNumber(0);
    Bvll::Message tooLong;
    const Octets npdu(Bvll::_MAX_DATAGRAM, 0);
    tooLong.payload = npdu;
    Apdu::Header simpleAck;
    simpleAck.type = Apdu::SIMPLE_ACK;
    Encoder out;
    const std::pair<const char*, std::function<void()>> refused[] = {
        {"priority 17", [&] { WriteProperty::encodeRequest(write); }},
        {"no value", [] { WriteProperty::encodeRequest(WriteProperty::Request()); }},
        {"count 0", [&] { readRange(0); }},
        {"count beyond INTEGER16", [&] { readRange(40000); }},
        {"no objects", [] { ReadPropertyMultiple::encodeRequest({}); }},
        {"object without properties",
         [] { ReadPropertyMultiple::encodeRequest({ReadPropertyMultiple::ObjectRequest()}); }},
        {"Who-Is limit", [] { WhoIs::range(0, BACNET_MAX_INSTANCE + 1).encode(); }},
        {"Date before 1900", [&] { out.writeApplicationValue(BACnetValue(DataType::Date(1899, 1, 1, 7))); }},
        {"upload position",
         [&] { ValueCodec::encode(out, uploadPosition, OBJECT_DEVICE, PROP_PRESENT_VALUE); }},
        {"tag number 255", [&] { out.writeOpening(255); }},
        {"network 0", [&] { Npdu::encode(toNetwork0, OctetView()); }},
        {"datagram too long", [&] { Bvll::encode(tooLong); }},
        {"Simple-ACK with data", [&] { Apdu::encode(simpleAck, Octets{1}); }},
    };
    for (const auto& [what, encode] : refused)
        EXPECT_THROW(encode(), Poco::InvalidArgumentException) << what;
}

TEST(CodecTest, RequestLimitsRoundDownToWhatTheHeaderCanSay)
{
    Apdu::Header header;
    header.maxApdu = 1000;
    header.maxSegments = 10;
    const Apdu::Header read = Apdu::decode(Apdu::encode(header)).header;
    EXPECT_EQ(read.maxApdu, 480);
    EXPECT_EQ(read.maxSegments, 8);
    header.maxSegments = 200;
    EXPECT_EQ(Apdu::decode(Apdu::encode(header)).header.maxSegments, Apdu::_MORE_THAN_64_SEGMENTS);
}
