'use strict';
// Wire encoding for the simulated devices, built on the library's codec modules. The library's
// reply helpers are not used: they cannot encode every constructed value, and some of them
// encode optional fields wrongly, so every reply is put together here from its primitive encoders.

const asn1 = require('@bacnet-js/client/dist/lib/asn1');
const apdu = require('@bacnet-js/client/dist/lib/apdu');
const npdu = require('@bacnet-js/client/dist/lib/npdu');
const bvlc = require('@bacnet-js/client/dist/lib/bvlc');
const services = require('@bacnet-js/client/dist/lib/services');
const bac = require('@bacnet-js/client/dist/lib/enum');

const TAG = bac.ApplicationTag;
const MAX_DATAGRAM = 1500;
// Replies are encoded into one scratch buffer and copied out: a segmented reply may be far
// larger than a datagram.
const scratch = { buffer: Buffer.alloc(1 << 20), offset: 0 };

// BVLC functions that a plain device or router does not serve get a NAK with these result codes.
const BVLC_NAK = {
  [bac.BvlcResultPurpose.WRITE_BROADCAST_DISTRIBUTION_TABLE]: 0x0010,
  [bac.BvlcResultPurpose.READ_BROADCAST_DISTRIBUTION_TABLE]: 0x0020,
  [bac.BvlcResultPurpose.REGISTER_FOREIGN_DEVICE]: 0x0030,
  [bac.BvlcResultPurpose.READ_FOREIGN_DEVICE_TABLE]: 0x0040,
  [bac.BvlcResultPurpose.DELETE_FOREIGN_DEVICE_TABLE_ENTRY]: 0x0050,
  [bac.BvlcResultPurpose.DISTRIBUTE_BROADCAST_TO_NETWORK]: 0x0060,
};

function newBuffer() {
  return { buffer: Buffer.alloc(MAX_DATAGRAM), offset: 0 };
}

/** Runs `write(buffer)` on a fresh buffer and returns the bytes written. */
function encode(write) {
  scratch.offset = 0;
  write(scratch);
  return Buffer.from(scratch.buffer.subarray(0, scratch.offset));
}

function bits(flags) {
  const value = [];
  flags.forEach((on, i) => {
    value[i >> 3] = (value[i >> 3] || 0) | (on ? 1 << (i & 7) : 0);
  });
  return { value, bitsUsed: flags.length };
}

// Application-tagged primitive values: each is a function that writes itself into a buffer.
const value = {
  null: () => (b) => asn1.bacappEncodeApplicationData(b, { type: TAG.NULL, value: null }),
  boolean: (v) => (b) => asn1.encodeApplicationBoolean(b, !!v),
  unsigned: (v) => (b) => asn1.encodeApplicationUnsigned(b, v),
  signed: (v) => (b) => asn1.encodeApplicationSigned(b, v),
  real: (v) => (b) => asn1.bacappEncodeApplicationData(b, { type: TAG.REAL, value: v }),
  double: (v) => (b) => asn1.bacappEncodeApplicationData(b, { type: TAG.DOUBLE, value: v }),
  enumerated: (v) => (b) => asn1.encodeApplicationEnumerated(b, v),
  text: (v) => (b) => asn1.encodeApplicationCharacterString(b, v),
  octets: (v) => (b) => asn1.encodeApplicationOctetString(b, v, 0, v.length),
  bits: (flags) => (b) => asn1.encodeApplicationBitstring(b, bits(flags)),
  objectId: (type, instance) => (b) => asn1.encodeApplicationObjectId(b, type, instance),
  date: (ms) => (b) => asn1.encodeApplicationDate(b, new Date(ms)),
  time: (ms) => (b) => asn1.encodeApplicationTime(b, new Date(ms)),
};

function encodeContextNull(b, tag) {
  asn1.encodeTag(b, tag, true, 0);
}

function encodeDateTime(b, ms) {
  asn1.encodeApplicationDate(b, new Date(ms));
  asn1.encodeApplicationTime(b, new Date(ms));
}

/** BACnetDateTime, as a property value (a date and a time, application-tagged). */
function dateTimeValue(ms) {
  return (b) => encodeDateTime(b, ms);
}

/** BACnetDeviceObjectPropertyReference, as a property value. */
function deviceObjectPropertyReference(ref) {
  return (b) => {
    asn1.encodeContextObjectId(b, 0, ref.objectType, ref.objectInstance);
    asn1.encodeContextEnumerated(b, 1, ref.property);
    if (ref.deviceInstance !== undefined) {
      asn1.encodeContextObjectId(b, 3, bac.ObjectType.DEVICE, ref.deviceInstance);
    }
  };
}

/**
 * BACnetLogRecord: { time (ms since the epoch), kind, value, statusFlags (4 booleans or absent) }.
 * Kinds: log-status (3 booleans), boolean, real, enumerated, unsigned, signed, bitstring
 * (booleans), null, failure ({errorClass, errorCode}), time-change (seconds), any-value (a list
 * of value writers).
 */
function encodeLogRecord(b, record) {
  asn1.encodeOpeningTag(b, 0);
  encodeDateTime(b, record.time);
  asn1.encodeClosingTag(b, 0);
  asn1.encodeOpeningTag(b, 1);
  const v = record.value;
  switch (record.kind) {
    case 'log-status':
      asn1.encodeContextBitstring(b, 0, bits(v));
      break;
    case 'boolean':
      asn1.encodeContextBoolean(b, 1, v);
      break;
    case 'real':
      asn1.encodeContextReal(b, 2, v);
      break;
    case 'enumerated':
      asn1.encodeContextEnumerated(b, 3, v);
      break;
    case 'unsigned':
      asn1.encodeContextUnsigned(b, 4, v);
      break;
    case 'signed':
      asn1.encodeContextSigned(b, 5, v);
      break;
    case 'bitstring':
      asn1.encodeContextBitstring(b, 6, bits(v));
      break;
    case 'null':
      encodeContextNull(b, 7);
      break;
    case 'failure':
      asn1.encodeOpeningTag(b, 8);
      asn1.encodeApplicationEnumerated(b, v.errorClass);
      asn1.encodeApplicationEnumerated(b, v.errorCode);
      asn1.encodeClosingTag(b, 8);
      break;
    case 'time-change':
      asn1.encodeContextReal(b, 9, v);
      break;
    case 'any-value':
      asn1.encodeOpeningTag(b, 10);
      v.forEach((write) => write(b));
      asn1.encodeClosingTag(b, 10);
      break;
    default:
      throw new Error(`unknown log datum kind ${record.kind}`);
  }
  asn1.encodeClosingTag(b, 1);
  if (record.statusFlags) {
    asn1.encodeContextBitstring(b, 2, bits(record.statusFlags));
  }
}

// NPDU with the optional destination and source specifiers. `route` holds { dnet, dadr } and/or
// { snet, sadr } (address bytes as arrays).
function encodeNpdu(b, route, expectingReply) {
  const control = expectingReply ? bac.NpduControlBit.EXPECTING_REPLY : 0;
  npdu.encode(
    b,
    control,
    route.dnet ? { net: route.dnet, adr: route.dadr } : undefined,
    route.snet ? { net: route.snet, adr: route.sadr } : undefined,
    0xff,
  );
}

function encodeNetworkMessage(b, route, type, writeBody) {
  npdu.encode(
    b,
    bac.NpduControlBit.NETWORK_LAYER_MESSAGE,
    route.dnet ? { net: route.dnet, adr: route.dadr } : undefined,
    route.snet ? { net: route.snet, adr: route.sadr } : undefined,
    0xff,
    type,
  );
  writeBody(b);
}

/** A whole BVLL datagram: header (unicast, broadcast or forwarded) followed by `writeNpdu`. */
function datagram(func, writeNpdu, originatingAddress) {
  const headerLength = func === bac.BvlcResultPurpose.FORWARDED_NPDU ? 10 : 4;
  const b = newBuffer();
  b.offset = headerLength;
  writeNpdu(b);
  bvlc.encode(b.buffer, func, b.offset, originatingAddress);
  return Buffer.from(b.buffer.subarray(0, b.offset));
}

function bvlcResult(code) {
  const b = newBuffer();
  b.offset = 4;
  asn1.encodeUnsigned(b, code, 2);
  bvlc.encode(b.buffer, bac.BvlcResultPurpose.BVLC_RESULT, b.offset);
  return Buffer.from(b.buffer.subarray(0, b.offset));
}

/** Decodes BVLL and NPDU headers; undefined for anything that is not a well-formed BACnet/IP datagram. */
function parseDatagram(msg) {
  const link = bvlc.decode(msg, 0);
  if (!link) {
    return undefined;
  }
  const result = { func: link.func, originatingAddress: link.originatingIP, offset: link.len };
  const carriesNpdu = [
    bac.BvlcResultPurpose.ORIGINAL_UNICAST_NPDU,
    bac.BvlcResultPurpose.ORIGINAL_BROADCAST_NPDU,
    bac.BvlcResultPurpose.FORWARDED_NPDU,
    bac.BvlcResultPurpose.DISTRIBUTE_BROADCAST_TO_NETWORK,
  ].includes(link.func);
  if (!carriesNpdu) {
    return result;
  }
  if (msg.length < link.len + 2 || msg[link.len] !== 1) {
    return undefined;
  }
  const network = npdu.decode(msg, link.len);
  if (!network) {
    return undefined;
  }
  result.npdu = network;
  result.networkMessage = (network.funct & bac.NpduControlBit.NETWORK_LAYER_MESSAGE) !== 0;
  if (result.networkMessage) {
    // npdu.decode counts a Who-Is-Router-To-Network's network number even when it is absent.
    result.messageOffset = link.len + 2 + headerSpecifierLength(network);
    return result.messageOffset < msg.length ? result : undefined;
  }
  result.apduOffset = link.len + network.len;
  return result.apduOffset < msg.length ? result : undefined;
}

function headerSpecifierLength(network) {
  let length = 0;
  if (network.destination) {
    length += 3 + (network.destination.adr ? network.destination.adr.length : 0) + 1;
  }
  if (network.source) {
    length += 3 + (network.source.adr ? network.source.adr.length : 0);
  }
  return length;
}

const MAX_APDU_CODES = [50, 128, 206, 480, 1024, 1476];
const MAX_SEGMENT_CODES = [undefined, 2, 4, 8, 16, 32, 64, 65];

function maxApduOf(code) {
  return MAX_APDU_CODES[code] || 50;
}

function maxApduCode(octets) {
  let code = 0;
  MAX_APDU_CODES.forEach((size, i) => {
    if (octets >= size) {
      code = i;
    }
  });
  return code;
}

/** Segments a requester accepts; undefined when it leaves the number open. */
function maxSegmentsOf(code) {
  return MAX_SEGMENT_CODES[code >> 4];
}

module.exports = {
  asn1,
  apdu,
  services,
  bac,
  TAG,
  BVLC_NAK,
  encode,
  bits,
  value,
  dateTimeValue,
  deviceObjectPropertyReference,
  encodeLogRecord,
  encodeNpdu,
  encodeNetworkMessage,
  datagram,
  bvlcResult,
  parseDatagram,
  maxApduOf,
  maxApduCode,
  maxSegmentsOf,
};
