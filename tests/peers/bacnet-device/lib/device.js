'use strict';
// One simulated BACnet device: its objects, the services it serves (Who-Is, ReadProperty,
// ReadPropertyMultiple, ReadRange, WriteProperty, SubscribeCOV, SubscribeCOVProperty), the COV
// notifications it sends, segmented replies, and the faults that a test can inject.

const codec = require('./codec');
const { asn1, services, bac } = codec;
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

const SERVICE_NAMES = {
  [SERVICE.READ_PROPERTY]: 'read-property',
  [SERVICE.READ_PROPERTY_MULTIPLE]: 'read-property-multiple',
  [SERVICE.READ_RANGE]: 'read-range',
  [SERVICE.WRITE_PROPERTY]: 'write-property',
  [SERVICE.SUBSCRIBE_COV]: 'subscribe-cov',
  [SERVICE.SUBSCRIBE_COV_PROPERTY]: 'subscribe-cov',
};

const DECODERS = {
  [SERVICE.READ_PROPERTY]: services.ReadProperty,
  [SERVICE.READ_PROPERTY_MULTIPLE]: services.ReadPropertyMultiple,
  [SERVICE.READ_RANGE]: services.ReadRange,
  [SERVICE.WRITE_PROPERTY]: services.WriteProperty,
  [SERVICE.SUBSCRIBE_COV]: services.SubscribeCov,
  [SERVICE.SUBSCRIBE_COV_PROPERTY]: services.SubscribeProperty,
};

function isSpecialProperty(id) {
  return id === P.ALL || id === P.REQUIRED || id === P.OPTIONAL;
}

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

class Device {
  constructor(site, config, where) {
    this.site = site;
    if (!Number.isInteger(config.instance) || config.instance < 0 || config.instance > 4194302) {
      throw new objects.ConfigError(`${where}.instance: 0 to 4194302 required`);
    }
    this.instance = config.instance;
    this.vendorId = config.vendorIdentifier || 0;
    this.maxApdu = config.maxApdu || 1476;
    if (!(this.maxApdu >= 50 && this.maxApdu <= 1476)) {
      throw new objects.ConfigError(`${where}.maxApdu: out of range 50 to 1476`);
    }
    const segmentation = config.segmentation || 'both';
    if (SEGMENTATION[segmentation] === undefined) {
      throw new objects.ConfigError(`${where}.segmentation: both, transmit, receive or none`);
    }
    this.segmentation = SEGMENTATION[segmentation];
    this.maxSegments = config.maxSegments || 64;
    this.windowSize = config.windowSize || 4;
    this.apduTimeoutMs = config.apduTimeoutMs || 3000;
    this.apduRetries = config.apduRetries === undefined ? 3 : config.apduRetries;
    this.segmentTimeoutMs = config.segmentTimeoutMs || 2000;
    this.network = config.network || 0;
    this.mac = config.mac;
    this.bind = config.bind;
    this.broadcastAddress = config.broadcast;
    this.iAm = config.iAm || 'auto';
    const faults = config.faults || {};
    this.silent = !!faults.silent;
    this.delayMs = faults.delayMs || 0;
    this.faults = (faults.errors || []).map((f, i) => this.readFault(f, `${where}.faults.errors[${i}]`));
    this.dropRate = config.dropRate || 0;
    this.random = randomSequence(config.seed === undefined ? this.instance : config.seed);

    this.objects = new Map();
    this.deviceObject = new objects.DeviceObject(this, config);
    this.objects.set(this.deviceObject.key, this.deviceObject);
    (config.objects || []).forEach((o, i) => this.addObject(o, `${where}.objects[${i}]`));
    (config.generate || []).forEach((g, i) => this.generateObjects(g, `${where}.generate[${i}]`));
    this.subscriptions = [];
    this.pending = new Map();
    this.segmented = new Map();
    this.nextInvokeId = 0;
    this.requests = 0;
    this.endpoint = undefined;
    this.route = {};
  }

  addObject(config, where) {
    const object = objects.createObject(config, where, (o) => this.objectChanged(o));
    if (!object) {
      this.site.warn(`${where}: object type ${config.type} is not simulated over BACnet/IP; left out`);
      return;
    }
    if (this.objects.has(object.key)) {
      throw new objects.ConfigError(`${where}: ${object.key} exists twice`);
    }
    this.objects.set(object.key, object);
  }

  /** `{ type, count, first }`: `count` objects of `type`, instances from `first`, for large object lists. */
  generateObjects(g, where) {
    if (!(Number.isInteger(g.count) && g.count >= 0 && g.count <= 100000)) {
      throw new objects.ConfigError(`${where}.count: 0 to 100000 required`);
    }
    const first = g.first || 1;
    for (let n = 0; n < g.count; n++) {
      this.addObject({ type: g.type, instance: first + n, name: `${g.type} ${first + n}` }, where);
    }
  }

  readFault(f, where) {
    return {
      service: f.service || 'any',
      object: f.object === undefined ? undefined : objects.parseObjectId(f.object, `${where}.object`),
      property: f.property === undefined ? undefined : objects.enumValue(P, f.property, `${where}.property`),
      skip: f.skip || 0,
      count: f.count,
      error:
        f.errorClass === undefined
          ? undefined
          : [objects.enumValue(EC, f.errorClass, `${where}.errorClass`), objects.enumValue(ERR, f.errorCode, `${where}.errorCode`)],
      seen: 0,
    };
  }

  // --- receiving -----------------------------------------------------------------------------

  /** An APDU for this device. `ctx`: { address (ip:port to answer), source (SNET/SADR), broadcast }. */
  receive(apdu, ctx) {
    if (this.silent || (this.dropRate > 0 && this.random() < this.dropRate)) {
      // A request lost here still reached the device: every try counts.
      if ((apdu[0] & 0xf0) === PDU.CONFIRMED_REQUEST) {
        this.requests++;
      }
      return;
    }
    const type = apdu[0] & 0xf0;
    const isRequest = type === PDU.CONFIRMED_REQUEST || type === PDU.UNCONFIRMED_REQUEST;
    if (isRequest && this.delayMs > 0) {
      setTimeout(() => this.handle(apdu, ctx), this.delayMs);
    } else {
      this.handle(apdu, ctx);
    }
  }

  handle(apdu, ctx) {
    const type = apdu[0] & 0xf0;
    switch (type) {
      case PDU.CONFIRMED_REQUEST:
        this.handleConfirmed(apdu, ctx);
        break;
      case PDU.UNCONFIRMED_REQUEST:
        if (apdu[1] === bac.UnconfirmedServiceChoice.WHO_IS) {
          this.whoIs(apdu, ctx);
        }
        break;
      case PDU.SEGMENT_ACK: {
        const reply = this.segmented.get(`${ctx.address}/${apdu[1]}`);
        if (reply && apdu.length >= 4 && (apdu[0] & bac.PduSegAckBit.SERVER) === 0) {
          reply.acknowledged(apdu[2], apdu[3], (apdu[0] & bac.PduSegAckBit.NEGATIVE_ACK) !== 0);
        }
        break;
      }
      case PDU.ABORT:
        if ((apdu[0] & 1) === 0) {
          const key = `${ctx.address}/${apdu[1]}`;
          const reply = this.segmented.get(key);
          if (reply) reply.finish();
          break;
        }
        this.settle(apdu, ctx);
        break;
      case PDU.SIMPLE_ACK:
      case PDU.ERROR:
      case PDU.REJECT:
        this.settle(apdu, ctx);
        break;
      default:
        break;
    }
  }

  handleConfirmed(apdu, ctx) {
    if (apdu.length < 4) {
      return;
    }
    const header = codec.apdu.decodeConfirmedServiceRequest(apdu, 0);
    if (header.type & bac.PduConReqBit.SEGMENTED_MESSAGE) {
      this.sendAbort(ctx, header.invokeId, bac.AbortReason.SEGMENTATION_NOT_SUPPORTED);
      return;
    }
    if (this.segmented.has(`${ctx.address}/${header.invokeId}`)) {
      return;
    }
    this.requests++;
    const decoder = DECODERS[header.service];
    if (!decoder) {
      this.sendReject(ctx, header.invokeId, bac.RejectReason.UNRECOGNIZED_SERVICE);
      return;
    }
    let request;
    try {
      request = decoder.decode(apdu, header.len, apdu.length - header.len);
    } catch (e) {
      request = undefined;
    }
    if (!request || Number.isNaN(request.len) || request.len > apdu.length - header.len) {
      this.sendReject(ctx, header.invokeId, bac.RejectReason.MISSING_REQUIRED_PARAMETER);
      return;
    }
    const fault = this.requestFault(header.service, request);
    if (fault) {
      if (fault.error) this.sendError(ctx, header, fault.error);
      return;
    }
    const error = this.serve(header, request, ctx);
    if (error) {
      this.sendError(ctx, header, error);
    }
  }

  /** Serves a decoded request; returns [class, code] for an Error reply, or nothing. */
  serve(header, request, ctx) {
    switch (header.service) {
      case SERVICE.READ_PROPERTY:
        return this.readProperty(header, request, ctx);
      case SERVICE.READ_PROPERTY_MULTIPLE:
        return this.readPropertyMultiple(header, request, ctx);
      case SERVICE.READ_RANGE:
        return this.readRange(header, request, ctx);
      case SERVICE.WRITE_PROPERTY:
        return this.writeProperty(header, request, ctx);
      default:
        return this.subscribe(header, request, ctx);
    }
  }

  lookup(objectId) {
    if (objectId.type === bac.ObjectType.DEVICE && objectId.instance === WILDCARD_INSTANCE) {
      return this.deviceObject;
    }
    return this.objects.get(objects.objectKey(objectId.type, objectId.instance));
  }

  // --- faults --------------------------------------------------------------------------------

  /** The fault that fails this request as a whole, if one does. */
  requestFault(service, request) {
    const name = SERVICE_NAMES[service];
    if (service === SERVICE.READ_PROPERTY_MULTIPLE) {
      return request.properties.map((access) => this.matchFault(name, access.objectId, undefined, 'object')).find(Boolean);
    }
    const objectId = request.objectId || request.monitoredObjectId;
    const property = request.property || request.monitoredProperty || (request.value && request.value.property);
    return this.matchFault(name, objectId, property ? property.id : undefined, 'any');
  }

  /**
   * The first fault that matches and is due. `scope` 'object' considers only faults without a
   * property, 'property' only faults with one (a ReadPropertyMultiple's property faults fail
   * single entries), 'any' both.
   */
  matchFault(service, objectId, property, scope) {
    for (const fault of this.faults) {
      if (fault.service !== 'any' && fault.service !== service) continue;
      if (fault.object && (fault.object.type !== objectId.type || fault.object.instance !== objectId.instance)) continue;
      if (fault.property === undefined ? scope === 'property' : scope === 'object' || fault.property !== property) continue;
      fault.seen++;
      if (fault.seen > fault.skip && (fault.count === undefined || fault.seen <= fault.skip + fault.count)) {
        return fault;
      }
    }
    return undefined;
  }

  // --- services ------------------------------------------------------------------------------

  whoIs(apdu, ctx) {
    const request = services.WhoIs.decode(apdu, 2, apdu.length - 2);
    if (!request) return;
    if (request.lowLimit !== undefined && (this.instance < request.lowLimit || this.instance > request.highLimit)) {
      return;
    }
    const iAm = codec.encode((b) => {
      b.buffer[b.offset++] = PDU.UNCONFIRMED_REQUEST;
      b.buffer[b.offset++] = bac.UnconfirmedServiceChoice.I_AM;
      asn1.encodeApplicationObjectId(b, bac.ObjectType.DEVICE, this.instance);
      asn1.encodeApplicationUnsigned(b, this.maxApdu);
      asn1.encodeApplicationEnumerated(b, this.segmentation);
      asn1.encodeApplicationUnsigned(b, this.vendorId);
    });
    const broadcast = this.iAm === 'broadcast' || (this.iAm === 'auto' && ctx.broadcast && this.broadcastAddress);
    if (broadcast) {
      this.endpoint.broadcast(this, iAm);
    } else {
      this.sendApdu(ctx, iAm);
    }
  }

  readProperty(header, request, ctx) {
    const object = this.lookup(request.objectId);
    if (!object) return [EC.OBJECT, ERR.UNKNOWN_OBJECT];
    const { id, index } = request.property;
    const result = isSpecialProperty(id) ? { error: [EC.PROPERTY, ERR.UNKNOWN_PROPERTY] } : object.read(id, index);
    if (result.error) return result.error;
    this.sendComplexAck(ctx, header, (b) => {
      asn1.encodeContextObjectId(b, 0, object.type, object.instance);
      asn1.encodeContextEnumerated(b, 1, id);
      if (index !== ALL) asn1.encodeContextUnsigned(b, 2, index);
      asn1.encodeOpeningTag(b, 3);
      result.values.forEach((write) => write(b));
      asn1.encodeClosingTag(b, 3);
    });
    return undefined;
  }

  readPropertyMultiple(header, request, ctx) {
    this.sendComplexAck(ctx, header, (b) => {
      for (const access of request.properties) {
        const object = this.lookup(access.objectId);
        const id = object ? { type: object.type, instance: object.instance } : access.objectId;
        asn1.encodeContextObjectId(b, 0, id.type, id.instance);
        asn1.encodeOpeningTag(b, 1);
        for (const ref of this.expandReferences(object, access.properties)) {
          asn1.encodeContextEnumerated(b, 2, ref.id);
          if (ref.index !== ALL) asn1.encodeContextUnsigned(b, 3, ref.index);
          const result = this.readEntry(object, access.objectId, ref);
          if (result.error) {
            asn1.encodeOpeningTag(b, 5);
            asn1.encodeApplicationEnumerated(b, result.error[0]);
            asn1.encodeApplicationEnumerated(b, result.error[1]);
            asn1.encodeClosingTag(b, 5);
          } else {
            asn1.encodeOpeningTag(b, 4);
            result.values.forEach((write) => write(b));
            asn1.encodeClosingTag(b, 4);
          }
        }
        asn1.encodeClosingTag(b, 1);
      }
    });
    return undefined;
  }

  expandReferences(object, refs) {
    if (!object) return refs;
    return refs.flatMap((ref) =>
      isSpecialProperty(ref.id) ? object.expand(ref.id).map((id) => ({ id, index: ALL })) : [ref],
    );
  }

  readEntry(object, objectId, ref) {
    if (!object) return { error: [EC.OBJECT, ERR.UNKNOWN_OBJECT] };
    const fault = this.matchFault('read-property-multiple', objectId, ref.id, 'property');
    if (fault) {
      return { error: fault.error || [EC.DEVICE, ERR.OTHER] };
    }
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
    const flags = [
      records.length > 0 && first === object.series.firstHeld(now),
      records.length > 0 && last === object.series.total(now),
      records.length < matched,
    ];
    const bySequenceOrTime = request.requestType === bac.ReadRangeType.BY_SEQUENCE_NUMBER || request.requestType === bac.ReadRangeType.BY_TIME_REFERENCE_TIME_COUNT;
    this.sendComplexAck(ctx, header, (b) => {
      asn1.encodeContextObjectId(b, 0, object.type, object.instance);
      asn1.encodeContextEnumerated(b, 1, id);
      asn1.encodeContextBitstring(b, 3, codec.bits(flags));
      asn1.encodeContextUnsigned(b, 4, records.length);
      asn1.encodeOpeningTag(b, 5);
      records.forEach((r) => {
        r.copy(b.buffer, b.offset);
        b.offset += r.length;
      });
      asn1.encodeClosingTag(b, 5);
      if (records.length > 0 && bySequenceOrTime) {
        asn1.encodeContextUnsigned(b, 6, first % 2 ** 32);
      }
    });
    return undefined;
  }

  /** The records a range asks for: { first, last, fromEnd } (last < first: none), or { error }. */
  matchRange(series, request, now) {
    const first = series.firstHeld(now);
    const last = series.total(now);
    if (request.requestType === undefined) {
      return { first, last, fromEnd: false };
    }
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
    if (count > 0) {
      return { first: Math.max(first, reference), last: Math.min(last, reference + count - 1), fromEnd: false };
    }
    return { first: Math.max(first, reference + count + 1), last: Math.min(last, reference), fromEnd: true };
  }

  /** Encodes records of the span while they fit into `room` octets (from its end when reading back). */
  fitRecords(log, span, room) {
    const records = [];
    let used = 0;
    const step = span.fromEnd ? -1 : 1;
    let n = span.fromEnd ? span.last : span.first;
    for (; n >= span.first && n <= span.last; n += step) {
      const encoded = codec.encode((b) => codec.encodeLogRecord(b, log.record(n)));
      if (used + encoded.length > room && records.length > 0) break;
      used += encoded.length;
      records.push(encoded);
    }
    if (span.fromEnd) records.reverse();
    const count = records.length;
    const first = span.fromEnd ? span.last - count + 1 : span.first;
    return { records, first, last: first + count - 1 };
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
    const covProperties = [P.PRESENT_VALUE, P.STATUS_FLAGS, P.OUT_OF_SERVICE];
    if (!(object instanceof objects.PointObject)) {
      if (property === undefined) return [EC.OBJECT, ERR.OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED];
      return object.properties.has(property) ? [EC.PROPERTY, ERR.NOT_COV_PROPERTY] : [EC.PROPERTY, ERR.UNKNOWN_PROPERTY];
    }
    if (property !== undefined && !covProperties.includes(property)) {
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
    const subscription = {
      key,
      ctx: { address: ctx.address, source: ctx.source },
      processId: request.subscriberProcessId,
      object,
      property,
      confirmed: request.issueConfirmedNotifications,
      expiresAt: request.lifetime > 0 ? Date.now() + request.lifetime * 1000 : undefined,
      increment: request.covIncrement > 0 ? request.covIncrement : undefined,
    };
    this.subscriptions.push(subscription);
    this.site.say(`event subscribe ${what} lifetime=${request.lifetime} confirmed=${subscription.confirmed}`);
    this.notify(subscription);
    return undefined;
  }

  objectChanged(object) {
    for (const s of this.subscriptions) {
      if (s.object === object && this.covChanged(s)) this.notify(s);
    }
  }

  covChanged(s) {
    const state = s.object.covState(s.property);
    if (state.flags !== s.last.flags) return true;
    if (typeof state.value === 'number' && s.object.kind === 'real') {
      const increment = s.increment === undefined ? s.object.covIncrement : s.increment;
      return Math.abs(state.value - s.last.value) >= increment;
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
      asn1.encodeOpeningTag(b, 4);
      for (const entry of s.object.covValues(s.property)) {
        asn1.encodeContextEnumerated(b, 0, entry.id);
        asn1.encodeOpeningTag(b, 2);
        entry.values.forEach((write) => write(b));
        asn1.encodeClosingTag(b, 2);
      }
      asn1.encodeClosingTag(b, 4);
    };
    const what = `${this.instance} ${s.object.key} pid=${s.processId}`;
    if (s.confirmed) {
      this.sendConfirmed(s.ctx, SERVICE.CONFIRMED_COV_NOTIFICATION, body, what);
    } else {
      this.sendApdu(
        s.ctx,
        codec.encode((b) => {
          b.buffer[b.offset++] = PDU.UNCONFIRMED_REQUEST;
          b.buffer[b.offset++] = bac.UnconfirmedServiceChoice.UNCONFIRMED_COV_NOTIFICATION;
          body(b);
        }),
      );
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
    const apdu = codec.encode((b) => {
      b.buffer[b.offset++] = PDU.CONFIRMED_REQUEST;
      b.buffer[b.offset++] = bac.MaxApduLengthAccepted.OCTETS_1476;
      b.buffer[b.offset++] = invokeId;
      b.buffer[b.offset++] = service;
      writeBody(b);
    });
    const entry = { address: ctx.address, what, retriesLeft: this.apduRetries };
    const transmit = () => {
      this.sendApdu(ctx, apdu);
      entry.timer = setTimeout(() => {
        if (entry.retriesLeft-- > 0) {
          transmit();
          return;
        }
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
    const route = { ...this.route };
    if (ctx.source) {
      route.dnet = ctx.source.net;
      route.dadr = ctx.source.adr;
    }
    const expectingReply = (apdu[0] & 0xf0) === PDU.CONFIRMED_REQUEST;
    this.endpoint.send(this.endpoint.unicast(route, expectingReply, apdu), ctx.address);
  }

  sendSimpleAck(ctx, header) {
    this.sendApdu(ctx, Buffer.from([PDU.SIMPLE_ACK, header.invokeId, header.service]));
  }

  sendError(ctx, header, [errorClass, errorCode]) {
    this.sendApdu(
      ctx,
      codec.encode((b) => {
        codec.apdu.encodeError(b, PDU.ERROR, header.service, header.invokeId);
        asn1.encodeApplicationEnumerated(b, errorClass);
        asn1.encodeApplicationEnumerated(b, errorCode);
      }),
    );
  }

  sendReject(ctx, invokeId, reason) {
    this.sendApdu(ctx, Buffer.from([PDU.REJECT, invokeId, reason]));
  }

  sendAbort(ctx, invokeId, reason) {
    this.sendApdu(ctx, Buffer.from([PDU.ABORT | 1, invokeId, reason]));
  }

  canSegment() {
    return this.segmentation === SEGMENTATION.both || this.segmentation === SEGMENTATION.transmit;
  }

  /** Largest APDU that goes to this requester unsegmented. */
  replyLimit(header) {
    return Math.min(this.maxApdu, codec.maxApduOf(header.maxApdu));
  }

  segmentsAccepted(header) {
    const accepted = codec.maxSegmentsOf(header.maxSegments);
    return accepted === undefined || accepted > 64 ? 64 : accepted;
  }

  acceptsSegments(header) {
    return this.canSegment() && (header.type & bac.PduConReqBit.SEGMENTED_RESPONSE_ACCEPTED) !== 0;
  }

  /** The most service data octets one reply to this request can carry. */
  capacity(header) {
    const limit = this.replyLimit(header);
    return this.acceptsSegments(header) ? (limit - 5) * this.segmentsAccepted(header) : limit - 3;
  }

  /** A Complex-ACK, segmented when it does not fit and both sides can, else an Abort. */
  sendComplexAck(ctx, header, writeBody) {
    const payload = codec.encode(writeBody);
    const limit = this.replyLimit(header);
    if (payload.length + 3 <= limit) {
      this.sendApdu(ctx, Buffer.concat([Buffer.from([PDU.COMPLEX_ACK, header.invokeId, header.service]), payload]));
      return;
    }
    if (!this.acceptsSegments(header)) {
      this.sendAbort(ctx, header.invokeId, bac.AbortReason.SEGMENTATION_NOT_SUPPORTED);
      return;
    }
    const segmentSize = limit - 5;
    if (Math.ceil(payload.length / segmentSize) > this.segmentsAccepted(header)) {
      this.sendAbort(ctx, header.invokeId, bac.AbortReason.BUFFER_OVERFLOW);
      return;
    }
    const key = `${ctx.address}/${header.invokeId}`;
    const reply = new SegmentedReply({
      invokeId: header.invokeId,
      service: header.service,
      payload,
      segmentSize,
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
