'use strict';
// Wire encoding for the simulated devices, built on the library's primitive encoders (asn1, npdu, bvlc,
// apdu). Its reply helpers are not used: they cannot encode every constructed value, and some encode
// optional fields wrongly. Property values are writers: functions that encode themselves into a buffer.

const lib = (name) => require(`@bacnet-js/client/dist/lib/${name}`);
const asn1 = lib('asn1');
const apdu = lib('apdu');
const npdu = lib('npdu');
const bvlc = lib('bvlc');
const services = lib('services');
const bac = lib('enum');

const TAG = bac.ApplicationTag;
const F = bac.BvlcResultPurpose;
// Replies are encoded into one scratch buffer and copied out: a segmented reply may be far larger
// than a datagram.
const scratch = { buffer: Buffer.alloc(1 << 20), offset: 0 };

/** Runs `write(buffer)` on the scratch buffer and returns a copy of the bytes written. */
function encode(write) {
  scratch.offset = 0;
  write(scratch);
  return Buffer.from(scratch.buffer.subarray(0, scratch.offset));
}

/** An APDU: the header octets, then what `write(buffer)` encodes. */
function apduOf(header, write) {
  return encode((b) => {
    b.buffer.set(header, b.offset);
    b.offset += header.length;
    write(b);
  });
}

function bits(flags) {
  const value = [];
  flags.forEach((on, i) => (value[i >> 3] = (value[i >> 3] || 0) | (on ? 1 << (i & 7) : 0)));
  return { value, bitsUsed: flags.length };
}

const tagged = (type) => (v) => (b) => asn1.bacappEncodeApplicationData(b, { type, value: v });
// Application-tagged values; `value.<type>(v)` is the writer of v.
const value = {
  null: () => tagged(TAG.NULL)(null),
  boolean: (v) => (b) => asn1.encodeApplicationBoolean(b, !!v),
  unsigned: tagged(TAG.UNSIGNED_INTEGER),
  signed: tagged(TAG.SIGNED_INTEGER),
  real: tagged(TAG.REAL),
  double: tagged(TAG.DOUBLE),
  enumerated: tagged(TAG.ENUMERATED),
  text: tagged(TAG.CHARACTER_STRING),
  bits: (flags) => tagged(TAG.BIT_STRING)(bits(flags)),
  objectId: (type, instance) => tagged(TAG.OBJECTIDENTIFIER)({ type, instance }),
  date: (ms) => tagged(TAG.DATE)(new Date(ms)),
  time: (ms) => tagged(TAG.TIME)(new Date(ms)),
};

/** BACnetDateTime, as a property value (an application-tagged date and time). */
const dateTimeValue = (ms) => (b) => [value.date(ms), value.time(ms)].forEach((write) => write(b));

/** BACnetDeviceObjectPropertyReference, as a property value. */
function deviceObjectPropertyReference(ref) {
  return (b) => {
    asn1.encodeContextObjectId(b, 0, ref.objectType, ref.objectInstance);
    asn1.encodeContextEnumerated(b, 1, ref.property);
    if (ref.deviceInstance !== undefined) asn1.encodeContextObjectId(b, 3, bac.ObjectType.DEVICE, ref.deviceInstance);
  };
}

/** Encloses what `write` encodes in the opening and closing tag `tag`. */
function enclosed(b, tag, write) {
  asn1.encodeOpeningTag(b, tag);
  write(b);
  asn1.encodeClosingTag(b, tag);
}

// The log datum choices of BACnetLogRecord that the logged present values take: how each encodes its value.
const LOG_DATUM = {
  real: (b, v) => asn1.encodeContextReal(b, 2, v),
  enumerated: (b, v) => asn1.encodeContextEnumerated(b, 3, v),
  unsigned: (b, v) => asn1.encodeContextUnsigned(b, 4, v),
};

/** BACnetLogRecord: { time (ms since the epoch), kind (a LOG_DATUM key), value, statusFlags (4 booleans) }. */
function encodeLogRecord(b, record) {
  enclosed(b, 0, dateTimeValue(record.time));
  enclosed(b, 1, () => LOG_DATUM[record.kind](b, record.value));
  asn1.encodeContextBitstring(b, 2, bits(record.statusFlags));
}

/**
 * An NPDU: the network message `message` ({ type, body: bytes }) or `apdu`, with the destination and
 * source specifiers of `route` ({ dnet, dadr } and/or { snet, sadr }, addresses as byte arrays).
 */
function encodeNpdu(route, { apdu: payload, expectingReply, message }) {
  const control = message ? bac.NpduControlBit.NETWORK_LAYER_MESSAGE : expectingReply ? bac.NpduControlBit.EXPECTING_REPLY : 0;
  const target = (net, adr) => (net ? { net, adr } : undefined);
  const head = encode((b) => npdu.encode(b, control, target(route.dnet, route.dadr), target(route.snet, route.sadr), 0xff, message && message.type));
  return Buffer.concat([head, message ? message.body : payload]);
}

/** A whole BVLL datagram (an original unicast or broadcast) around an NPDU. */
function datagram(func, npduBytes) {
  const header = Buffer.alloc(4);
  bvlc.encode(header, func, header.length + npduBytes.length);
  return Buffer.concat([header, npduBytes]);
}

function bvlcResult(code) {
  return Buffer.from([bac.BVLL_TYPE_BACNET_IP, F.BVLC_RESULT, 0, 6, code >> 8, code & 0xff]);
}

// BVLC functions that a plain device or router does not serve get a NAK with these result codes.
const BVLC_NAK = {
  [F.WRITE_BROADCAST_DISTRIBUTION_TABLE]: 0x0010,
  [F.READ_BROADCAST_DISTRIBUTION_TABLE]: 0x0020,
  [F.REGISTER_FOREIGN_DEVICE]: 0x0030,
  [F.READ_FOREIGN_DEVICE_TABLE]: 0x0040,
  [F.DELETE_FOREIGN_DEVICE_TABLE_ENTRY]: 0x0050,
  [F.DISTRIBUTE_BROADCAST_TO_NETWORK]: 0x0060,
};

/**
 * Decodes the BVLL and NPDU headers: { func, offset (of the NPDU), npdu, networkMessage, apduOffset }, the NPDU
 * only of original unicasts and broadcasts; undefined for anything that is not a well-formed BACnet/IP datagram.
 */
function parseDatagram(msg) {
  const link = bvlc.decode(msg, 0);
  if (!link) return undefined;
  const result = { func: link.func, offset: link.len };
  if (link.func !== F.ORIGINAL_UNICAST_NPDU && link.func !== F.ORIGINAL_BROADCAST_NPDU) return result;
  if (msg.length < link.len + 2 || msg[link.len] !== 1) return undefined;
  result.npdu = npdu.decode(msg, link.len);
  if (!result.npdu) return undefined;
  result.networkMessage = (result.npdu.funct & bac.NpduControlBit.NETWORK_LAYER_MESSAGE) !== 0;
  result.apduOffset = link.len + result.npdu.len;
  return result.networkMessage || result.apduOffset < msg.length ? result : undefined;
}

const MAX_APDU_CODES = [50, 128, 206, 480, 1024, 1476];
const MAX_SEGMENT_CODES = [undefined, 2, 4, 8, 16, 32, 64, 65];

module.exports = {
  asn1, apdu, services, bac, BVLC_NAK, encode, apduOf, enclosed, bits, value, dateTimeValue, deviceObjectPropertyReference,
  encodeLogRecord, encodeNpdu, datagram, bvlcResult, parseDatagram,
  maxApduOf: (code) => MAX_APDU_CODES[code] || 50,
  /** Segments a requester accepts; undefined when it leaves the number open. */
  maxSegmentsOf: (code) => MAX_SEGMENT_CODES[code >> 4],
};
