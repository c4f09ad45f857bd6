'use strict';
// One simulated BACnet device: its objects, the services it serves (Who-Is, ReadProperty,
// ReadPropertyMultiple, ReadRange, WriteProperty, SubscribeCOV, SubscribeCOVProperty), the COV
// notifications it sends, segmented replies, and the faults that a test can inject (silence, lost datagrams).

const codec = require('./codec');
const { asn1, services, bac, enclosed } = codec;
const objects = require('./objects');
const { SegmentedReply } = require('./segmenter');

const P = bac.PropertyIdentifier;
const EC = bac.ErrorClass;
const ERR = bac.ErrorCode;
const PDU = bac.PduType;
const SERVICE = bac.ConfirmedServiceChoice;
const SEGMENTATION = { both: 0, transmit: 1, receive: 2, none: 3 };
const ALL = bac.ASN1_ARRAY_ALL;
const WILDCARD_INSTANCE = 4194303;
/** ReadRange-ACK bytes besides its records: object, property, flags, count, tags, first sequence. */
const RANGE_ACK_OVERHEAD = 25;
const COV_PROPERTIES = [P.PRESENT_VALUE, P.STATUS_FLAGS, P.OUT_OF_SERVICE];

// The confirmed services served: the library's decoder and the handler.
const SERVED = {
  [SERVICE.READ_PROPERTY]: [services.ReadProperty, 'readProperty'],
  [SERVICE.READ_PROPERTY_MULTIPLE]: [services.ReadPropertyMultiple, 'readPropertyMultiple'],
  [SERVICE.READ_RANGE]: [services.ReadRange, 'readRange'],
  [SERVICE.WRITE_PROPERTY]: [services.WriteProperty, 'writeProperty'],
  [SERVICE.SUBSCRIBE_COV]: [services.SubscribeCov, 'subscribe'],
  [SERVICE.SUBSCRIBE_COV_PROPERTY]: [services.SubscribeProperty, 'subscribe'],
};

const isSpecialProperty = (id) => id === P.ALL || id === P.REQUIRED || id === P.OPTIONAL;

/** A small deterministic generator, so that injected packet loss repeats from run to run. */
function randomSequence(seed) {
  let state = seed >>> 0 || 1;
  return () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

function checked(ok, where, text) {
  if (!ok) throw new objects.ConfigError(`${where}: ${text}`);
}

class Device {
  constructor(site, config, where) {
    this.site = site;
    checked(Number.isInteger(config.instance) && config.instance >= 0 && config.instance <= 4194302, `${where}.instance`, '0 to 4194302 required');
    this.instance = config.instance;
    this.vendorId = config.vendorIdentifier || 0;
    this.maxApdu = config.maxApdu || 1476;
    checked(this.maxApdu >= 50 && this.maxApdu <= 1476, `${where}.maxApdu`, 'out of range 50 to 1476');
    this.segmentation = SEGMENTATION[config.segmentation || 'both'];
    checked(this.segmentation !== undefined, `${where}.segmentation`, 'both, transmit, receive or none');
    Object.assign(this, { maxSegments: 64, windowSize: config.windowSize || 4, apduTimeoutMs: 3000, apduRetries: 3, segmentTimeoutMs: 2000 });
    this.network = config.network || 0;
    Object.assign(this, { mac: config.mac, bind: config.bind, broadcastAddress: config.broadcast, iAm: config.iAm || 'auto' });
    this.silent = !!(config.faults && config.faults.silent);
    this.dropRate = 0;
    this.random = randomSequence(this.instance);

    this.objects = new Map();
    this.deviceObject = new objects.DeviceObject(this, config);
    this.objects.set(this.deviceObject.key, this.deviceObject);
    (config.objects || []).forEach((o, i) => this.addObject(o, `${where}.objects[${i}]`));
    Object.assign(this, { subscriptions: [], pending: new Map(), segmented: new Map(), nextInvokeId: 0, requests: 0, route: {} });
  }

  addObject(config, where) {
    const object = objects.createObject(config, where, (o) => this.objectChanged(o));
    if (!object) {
      this.site.warn(`${where}: object type ${config.type} is not simulated over BACnet/IP; left out`);
      return;
    }
    checked(!this.objects.has(object.key), where, `${object.key} exists twice`);
    this.objects.set(object.key, object);
  }

  // --- receiving -----------------------------------------------------------------------------

  /** An APDU for this device. `ctx`: { address (ip:port to answer), source (SNET/SADR), broadcast }. */
  receive(apdu, ctx) {
    const type = apdu[0] & 0xf0;
    if (this.silent || (this.dropRate > 0 && this.random() < this.dropRate)) {
      // A request lost here still reached the device: every try counts.
      if (type === PDU.CONFIRMED_REQUEST) this.requests++;
      return;
    }
    const segmented = this.segmented.get(`${ctx.address}/${apdu[1]}`);
    if (type === PDU.CONFIRMED_REQUEST) {
      this.handleConfirmed(apdu, ctx);
    } else if (type === PDU.UNCONFIRMED_REQUEST && apdu[1] === bac.UnconfirmedServiceChoice.WHO_IS) {
      this.whoIs(apdu, ctx);
    } else if (type === PDU.SEGMENT_ACK && segmented && apdu.length >= 4 && (apdu[0] & bac.PduSegAckBit.SERVER) === 0) {
      segmented.acknowledged(apdu[2], apdu[3], (apdu[0] & bac.PduSegAckBit.NEGATIVE_ACK) !== 0);
    } else if (type === PDU.ABORT && (apdu[0] & 1) === 0) {
      // An abort by the client ends the segmented reply it names.
      if (segmented) segmented.finish();
    } else if ([PDU.SIMPLE_ACK, PDU.ERROR, PDU.REJECT, PDU.ABORT].includes(type)) {
      this.settle(apdu, ctx);
    }
  }

  handleConfirmed(apdu, ctx) {
    if (apdu.length < 4) return;
    const header = codec.apdu.decodeConfirmedServiceRequest(apdu, 0);
    if (header.type & bac.PduConReqBit.SEGMENTED_MESSAGE) {
      this.sendAbort(ctx, header.invokeId, bac.AbortReason.SEGMENTATION_NOT_SUPPORTED);
      return;
    }
    if (this.segmented.has(`${ctx.address}/${header.invokeId}`)) return;
    this.requests++;
    const served = SERVED[header.service];
    if (!served) {
      this.sendReject(ctx, header.invokeId, bac.RejectReason.UNRECOGNIZED_SERVICE);
      return;
    }
    let request;
    try {
      request = served[0].decode(apdu, header.len, apdu.length - header.len);
    } catch (e) {
      request = undefined;
    }
    if (!request || Number.isNaN(request.len) || request.len > apdu.length - header.len) {
      this.sendReject(ctx, header.invokeId, bac.RejectReason.MISSING_REQUIRED_PARAMETER);
      return;
    }
    const error = this[served[1]](header, request, ctx);
    if (error) this.sendError(ctx, header, error);
  }

  lookup(objectId) {
    if (objectId.type === bac.ObjectType.DEVICE && objectId.instance === WILDCARD_INSTANCE) return this.deviceObject;
    return this.objects.get(objects.objectKey(objectId.type, objectId.instance));
  }

  // --- services ------------------------------------------------------------------------------
  // Each serves a decoded request and returns [class, code] for an Error reply, or nothing.

  whoIs(apdu, ctx) {
    const request = services.WhoIs.decode(apdu, 2, apdu.length - 2);
    if (!request || (request.lowLimit !== undefined && (this.instance < request.lowLimit || this.instance > request.highLimit))) return;
    const iAm = codec.apduOf([PDU.UNCONFIRMED_REQUEST, bac.UnconfirmedServiceChoice.I_AM], (b) =>
      services.IAm.encode(b, this.instance, this.maxApdu, this.segmentation, this.vendorId),
    );
    const broadcast = this.iAm === 'broadcast' || (this.iAm === 'auto' && ctx.broadcast && this.broadcastAddress);
    if (broadcast) {
      this.endpoint.broadcast(this, iAm);
    } else {
      this.sendApdu(ctx, iAm);
    }
  }

  readProperty(header, request, ctx) {
    const object = this.lookup(request.objectId);
    const { id, index } = request.property;
    const result = this.readOf(object, request.property);
    if (result.error) return result.error;
    this.sendComplexAck(ctx, header, (b) => {
      asn1.encodeContextObjectId(b, 0, object.type, object.instance);
      asn1.encodeContextEnumerated(b, 1, id);
      if (index !== ALL) asn1.encodeContextUnsigned(b, 2, index);
      enclosed(b, 3, () => result.values.forEach((write) => write(b)));
    });
    return undefined;
  }

  readPropertyMultiple(header, request, ctx) {
    this.sendComplexAck(ctx, header, (b) => {
      for (const access of request.properties) {
        const object = this.lookup(access.objectId);
        const id = object || access.objectId;
        asn1.encodeContextObjectId(b, 0, id.type, id.instance);
        enclosed(b, 1, () => {
          for (const ref of this.expandReferences(object, access.properties)) {
            asn1.encodeContextEnumerated(b, 2, ref.id);
            if (ref.index !== ALL) asn1.encodeContextUnsigned(b, 3, ref.index);
            const result = this.readOf(object, ref);
            if (result.error) {
              enclosed(b, 5, () => result.error.forEach((e) => asn1.encodeApplicationEnumerated(b, e)));
            } else {
              enclosed(b, 4, () => result.values.forEach((write) => write(b)));
            }
          }
        });
      }
    });
    return undefined;
  }

  expandReferences(object, refs) {
    if (!object) return refs;
    return refs.flatMap((ref) => (isSpecialProperty(ref.id) ? object.expand(ref.id).map((id) => ({ id, index: ALL })) : [ref]));
  }

  /** One property of an object (ALL, REQUIRED and OPTIONAL expanded before): { values } or { error }. */
  readOf(object, ref) {
    if (!object) return { error: [EC.OBJECT, ERR.UNKNOWN_OBJECT] };
    return isSpecialProperty(ref.id) ? { error: [EC.PROPERTY, ERR.UNKNOWN_PROPERTY] } : object.read(ref.id, ref.index);
  }

  readRange(header, request, ctx) {
    const object = this.lookup(request.objectId);
    if (!object) return [EC.OBJECT, ERR.UNKNOWN_OBJECT];
    const { id, index } = request.property;
    if (!(object instanceof objects.TrendLog) || id !== P.LOG_BUFFER) {
      return object.properties.has(id) ? [EC.SERVICES, ERR.PROPERTY_IS_NOT_A_LIST] : [EC.PROPERTY, ERR.UNKNOWN_PROPERTY];
    }
    if (index !== ALL) return [EC.PROPERTY, ERR.PROPERTY_IS_NOT_AN_ARRAY];
    const now = Date.now();
    const span = this.matchRange(object.series, request, now);
    if (span.error) return span.error;
    const { records, first, last } = this.fitRecords(object, span, this.capacity(header) - RANGE_ACK_OVERHEAD);
    const matched = Math.max(span.last - span.first + 1, 0);
    const some = records.length > 0;
    const flags = [some && first === object.series.firstHeld(now), some && last === object.series.total(now), records.length < matched];
    const type = request.requestType;
    const bySequenceOrTime = type === bac.ReadRangeType.BY_SEQUENCE_NUMBER || type === bac.ReadRangeType.BY_TIME_REFERENCE_TIME_COUNT;
    this.sendComplexAck(ctx, header, (b) => {
      asn1.encodeContextObjectId(b, 0, object.type, object.instance);
      asn1.encodeContextEnumerated(b, 1, id);
      asn1.encodeContextBitstring(b, 3, codec.bits(flags));
      asn1.encodeContextUnsigned(b, 4, records.length);
      enclosed(b, 5, () => records.forEach((r) => (b.offset += r.copy(b.buffer, b.offset))));
      if (some && bySequenceOrTime) asn1.encodeContextUnsigned(b, 6, first % 2 ** 32);
    });
    return undefined;
  }

  /** The records a range asks for: { first, last, fromEnd } (last < first: none), or { error }. */
  matchRange(series, request, now) {
    const first = series.firstHeld(now);
    const last = series.total(now);
    if (request.requestType === undefined) return { first, last, fromEnd: false };
    const count = request.count;
    if (count === 0) return { error: [EC.SERVICES, ERR.INCONSISTENT_PARAMETERS] };
    let reference;
    switch (request.requestType) {
      case bac.ReadRangeType.BY_POSITION:
        if (request.position < 1 || request.position > last - first + 1) return { first: 1, last: 0 };
        reference = first + request.position - 1;
        break;
      case bac.ReadRangeType.BY_SEQUENCE_NUMBER:
        reference = request.position;
        break;
      default: {
        // By time the reference record itself never matches; a time outside the records held
        // starts at the nearest record held in the reading direction.
        const time = request.time.getTime();
        if (Number.isNaN(time)) return { error: [EC.SERVICES, ERR.INCONSISTENT_PARAMETERS] };
        reference = count > 0 ? Math.max(first, series.firstAfter(time)) : Math.min(last, series.lastBefore(time));
      }
    }
    if (count > 0) return { first: Math.max(first, reference), last: Math.min(last, reference + count - 1), fromEnd: false };
    return { first: Math.max(first, reference + count + 1), last: Math.min(last, reference), fromEnd: true };
  }

  /** The encoded records of the span that fit into `room` octets (from its end when reading back), and their first and last sequence number. */
  fitRecords(log, span, room) {
    const records = [];
    let used = 0;
    let n = span.fromEnd ? span.last : span.first;
    for (; n >= span.first && n <= span.last; n += span.fromEnd ? -1 : 1) {
      const encoded = codec.encode((b) => codec.encodeLogRecord(b, log.record(n)));
      if (used + encoded.length > room && records.length > 0) break;
      used += encoded.length;
      records.push(encoded);
    }
    if (span.fromEnd) records.reverse();
    const first = span.fromEnd ? span.last - records.length + 1 : span.first;
    return { records, first, last: first + records.length - 1 };
  }

  writeProperty(header, request, ctx) {
    const object = this.lookup(request.objectId);
    if (!object) return [EC.OBJECT, ERR.UNKNOWN_OBJECT];
    const { property, value: values, priority } = request.value;
    const result = object.write(property.id, property.index, values, priority);
    if (result) return result.error;
    this.sendSimpleAck(ctx, header);
    const written = values.map((v) => (v.value === null ? 'null' : String(v.value))).join(',');
    this.site.say(`event write ${this.instance} ${object.key} ${property.id} priority=${priority} value=${written}`);
    return undefined;
  }

  // --- COV -------------------------------------------------------------------------------------

  subscribe(header, request, ctx) {
    const object = this.lookup(request.monitoredObjectId);
    if (!object) return [EC.OBJECT, ERR.UNKNOWN_OBJECT];
    const property = request.monitoredProperty ? request.monitoredProperty.id : undefined;
    const isPoint = object instanceof objects.PointObject;
    if (!isPoint && property === undefined) return [EC.OBJECT, ERR.OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED];
    if (!isPoint || (property !== undefined && !COV_PROPERTIES.includes(property))) {
      return object.properties.has(property) ? [EC.PROPERTY, ERR.NOT_COV_PROPERTY] : [EC.PROPERTY, ERR.UNKNOWN_PROPERTY];
    }
    const key = `${ctx.address}|${request.subscriberProcessId}|${object.key}|${property}`;
    this.subscriptions = this.subscriptions.filter((s) => s.key !== key);
    const what = `${this.instance} ${object.key}${property === undefined ? '' : ` ${property}`} pid=${request.subscriberProcessId}`;
    this.sendSimpleAck(ctx, header);
    if (request.cancellationRequest) {
      this.site.say(`event cancel ${what}`);
      return undefined;
    }
    const subscription = { key, ctx: { address: ctx.address, source: ctx.source }, processId: request.subscriberProcessId, object, property };
    subscription.confirmed = request.issueConfirmedNotifications;
    subscription.expiresAt = request.lifetime > 0 ? Date.now() + request.lifetime * 1000 : undefined;
    subscription.increment = request.covIncrement > 0 ? request.covIncrement : undefined;
    this.subscriptions.push(subscription);
    this.site.say(`event subscribe ${what} lifetime=${request.lifetime} confirmed=${subscription.confirmed}`);
    this.notify(subscription);
    return undefined;
  }

  objectChanged(object) {
    this.subscriptions.filter((s) => s.object === object && this.covChanged(s)).forEach((s) => this.notify(s));
  }

  covChanged(s) {
    const state = s.object.covState(s.property);
    if (state.flags !== s.last.flags) return true;
    if (typeof state.value === 'number' && s.object.kind === 'real') {
      return Math.abs(state.value - s.last.value) >= (s.increment === undefined ? s.object.covIncrement : s.increment);
    }
    return state.value !== s.last.value;
  }

  notify(s) {
    s.last = s.object.covState(s.property);
    const remaining = s.expiresAt === undefined ? 0 : Math.max(0, Math.ceil((s.expiresAt - Date.now()) / 1000));
    const body = (b) => {
      asn1.encodeContextUnsigned(b, 0, s.processId);
      asn1.encodeContextObjectId(b, 1, bac.ObjectType.DEVICE, this.instance);
      asn1.encodeContextObjectId(b, 2, s.object.type, s.object.instance);
      asn1.encodeContextUnsigned(b, 3, remaining);
      enclosed(b, 4, () => {
        for (const entry of s.object.covValues(s.property)) {
          asn1.encodeContextEnumerated(b, 0, entry.id);
          enclosed(b, 2, () => entry.values.forEach((write) => write(b)));
        }
      });
    };
    const what = `${this.instance} ${s.object.key} pid=${s.processId}`;
    if (s.confirmed) {
      this.sendConfirmed(s.ctx, SERVICE.CONFIRMED_COV_NOTIFICATION, body, what);
    } else {
      this.sendApdu(s.ctx, codec.apduOf([PDU.UNCONFIRMED_REQUEST, bac.UnconfirmedServiceChoice.UNCONFIRMED_COV_NOTIFICATION], body));
    }
    this.site.say(`event notify ${what} ${s.confirmed ? 'confirmed' : 'unconfirmed'}`);
  }

  /** Ends subscriptions whose lifetime ran out and moves drifting values on. */
  tick(nowMs, startMs) {
    const expired = this.subscriptions.filter((s) => s.expiresAt !== undefined && s.expiresAt <= nowMs);
    this.subscriptions = this.subscriptions.filter((s) => !expired.includes(s));
    expired.forEach((s) => this.site.say(`event expire ${this.instance} ${s.object.key} pid=${s.processId}`));
    for (const object of this.objects.values()) {
      if (object.advance) object.advance(nowMs, startMs);
    }
  }

  // --- confirmed requests of our own -------------------------------------------------------------

  sendConfirmed(ctx, service, writeBody, what) {
    let invokeId = this.nextInvokeId;
    while (this.pending.has(invokeId)) invokeId = (invokeId + 1) & 0xff;
    this.nextInvokeId = (invokeId + 1) & 0xff;
    const apdu = codec.apduOf([PDU.CONFIRMED_REQUEST, bac.MaxApduLengthAccepted.OCTETS_1476, invokeId, service], writeBody);
    const entry = { address: ctx.address, what, retriesLeft: this.apduRetries };
    const transmit = () => {
      this.sendApdu(ctx, apdu);
      entry.timer = setTimeout(() => {
        if (entry.retriesLeft-- > 0) return transmit();
        this.pending.delete(invokeId);
        this.site.say(`event notify-timeout ${what}`);
      }, this.apduTimeoutMs);
    };
    this.pending.set(invokeId, entry);
    transmit();
  }

  /** An answer to one of our confirmed requests. */
  settle(apdu, ctx) {
    const entry = this.pending.get(apdu[1]);
    if (!entry || entry.address !== ctx.address) return;
    clearTimeout(entry.timer);
    this.pending.delete(apdu[1]);
    const type = apdu[0] & 0xf0;
    this.site.say(type === PDU.SIMPLE_ACK ? `event notify-acked ${entry.what}` : `event notify-refused ${entry.what} pdu=${type >> 4}`);
  }

  // --- sending -----------------------------------------------------------------------------------

  /** Sends an APDU to `ctx.address`, with our source route and the requester's as destination. */
  sendApdu(ctx, apdu) {
    const route = ctx.source ? { ...this.route, dnet: ctx.source.net, dadr: ctx.source.adr } : this.route;
    const expectingReply = (apdu[0] & 0xf0) === PDU.CONFIRMED_REQUEST;
    this.endpoint.send(this.endpoint.unicast(route, expectingReply, apdu), ctx.address);
  }

  sendSimpleAck(ctx, header) {
    this.sendApdu(ctx, Buffer.from([PDU.SIMPLE_ACK, header.invokeId, header.service]));
  }

  sendError(ctx, header, [errorClass, errorCode]) {
    this.sendApdu(ctx, codec.apduOf([PDU.ERROR, header.invokeId, header.service], (b) => services.ErrorService.encode(b, errorClass, errorCode)));
  }

  sendReject(ctx, invokeId, reason) {
    this.sendApdu(ctx, Buffer.from([PDU.REJECT, invokeId, reason]));
  }

  sendAbort(ctx, invokeId, reason) {
    this.sendApdu(ctx, Buffer.from([PDU.ABORT | 1, invokeId, reason]));
  }

  /** What replies to this request may be: `limit` octets unsegmented, in at most `segments` segments (0: none). */
  replyLimits(header) {
    const transmits = this.segmentation === SEGMENTATION.both || this.segmentation === SEGMENTATION.transmit;
    const accepted = codec.maxSegmentsOf(header.maxSegments);
    const segments = accepted === undefined || accepted > 64 ? 64 : accepted;
    const acceptsSegments = transmits && (header.type & bac.PduConReqBit.SEGMENTED_RESPONSE_ACCEPTED) !== 0;
    return { limit: Math.min(this.maxApdu, codec.maxApduOf(header.maxApdu)), segments: acceptsSegments ? segments : 0 };
  }

  /** The most service data octets one reply to this request can carry. */
  capacity(header) {
    const { limit, segments } = this.replyLimits(header);
    return segments ? (limit - 5) * segments : limit - 3;
  }

  /** A Complex-ACK, segmented when it does not fit and both sides can, else an Abort. */
  sendComplexAck(ctx, header, writeBody) {
    const payload = codec.encode(writeBody);
    const { limit, segments } = this.replyLimits(header);
    if (payload.length + 3 <= limit) {
      this.sendApdu(ctx, Buffer.concat([Buffer.from([PDU.COMPLEX_ACK, header.invokeId, header.service]), payload]));
      return;
    }
    const segmentSize = limit - 5;
    if (!segments || Math.ceil(payload.length / segmentSize) > segments) {
      this.sendAbort(ctx, header.invokeId, segments ? bac.AbortReason.BUFFER_OVERFLOW : bac.AbortReason.SEGMENTATION_NOT_SUPPORTED);
      return;
    }
    const key = `${ctx.address}/${header.invokeId}`;
    const reply = new SegmentedReply(header, payload, segmentSize, {
      proposedWindow: this.windowSize,
      timeoutMs: this.segmentTimeoutMs,
      retries: this.apduRetries,
      send: (apdu) => this.sendApdu(ctx, apdu),
      done: () => this.segmented.delete(key),
    });
    this.segmented.set(key, reply);
    reply.start();
  }

  // --- test control ------------------------------------------------------------------------------

  findObject(text) {
    const id = objects.parseObjectId(text, 'object');
    const object = this.objects.get(objects.objectKey(id.type, id.instance));
    if (!object) throw new Error(`no object ${text} in device ${this.instance}`);
    return object;
  }

  closeAll() {
    for (const entry of this.pending.values()) clearTimeout(entry.timer);
    for (const reply of this.segmented.values()) clearTimeout(reply.timer);
  }
}

module.exports = { Device };
