'use strict';
// The objects of a simulated device: point objects (analog, binary, multi-state; inputs, outputs, values),
// trend logs and the device object. Each object keeps a table of its properties; a property reads as a list
// of value writers (see codec.value), or as { array: writers }.

const { bac, value, dateTimeValue, deviceObjectPropertyReference } = require('./codec');
const { LogSeries } = require('./log-series');

const P = bac.PropertyIdentifier;
const OT = bac.ObjectType;
const EC = bac.ErrorClass;
const ERR = bac.ErrorCode;
const TAG = bac.ApplicationTag;
const ALL = bac.ASN1_ARRAY_ALL;

class ConfigError extends Error {}

/** A number, or a standard name ("analog-input", "degrees-celsius") looked up in an enumeration. */
function enumValue(group, name, where) {
  if (Number.isInteger(name)) return name;
  const key = String(name).toUpperCase().replace(/-/g, '_');
  if (typeof name !== 'string' || group[key] === undefined) throw new ConfigError(`${where}: unknown name ${JSON.stringify(name)}`);
  return group[key];
}

const objectKey = (type, instance) => `${type}:${instance}`;

/** "analog-input:1" or "0:1" to { type, instance }. */
function parseObjectId(text, where) {
  const match = /^([a-z0-9-]+):(\d+)$/.exec(String(text));
  if (!match) throw new ConfigError(`${where}: not an object identifier: ${JSON.stringify(text)}`);
  return { type: /^\d+$/.test(match[1]) ? Number(match[1]) : enumValue(OT, match[1], where), instance: Number(match[2]) };
}

const propertyError = (code) => ({ error: [EC.PROPERTY, code] });
/** A property that ReadRange reads and ReadProperty refuses. */
const READ_RANGE_ONLY = Symbol('read-range-only');

/** A write of one value of application tag `tag`, passed to `assign`. */
const writeOf = (tag, assign) => (v) => (v.type === tag ? void assign(v.value) : propertyError(ERR.INVALID_DATA_TYPE));

class BACnetObject {
  constructor(type, instance, name) {
    Object.assign(this, { type, instance, name, properties: new Map() });
    this.define(P.OBJECT_IDENTIFIER, true, () => [value.objectId(type, instance)]);
    this.define(P.OBJECT_NAME, true, () => [value.text(this.name)], writeOf(TAG.CHARACTER_STRING, (t) => (this.name = t)));
    this.define(P.OBJECT_TYPE, true, () => [value.enumerated(type)]);
    this.define(P.PROPERTY_LIST, true, () => ({ array: this.propertyList().map((id) => value.enumerated(id)) }));
  }

  get key() {
    return objectKey(this.type, this.instance);
  }

  /** Adds a property: `read()` gives its value, `write(value, priority)` an error or nothing. */
  define(id, required, read, write) {
    this.properties.set(id, { required, read, write });
  }

  /** A constant property of type `type` (a codec.value member). */
  constant(id, required, type, v) {
    this.define(id, required, () => [value[type](v)]);
  }

  propertyList() {
    const outside = [P.OBJECT_IDENTIFIER, P.OBJECT_NAME, P.OBJECT_TYPE, P.PROPERTY_LIST];
    return [...this.properties.keys()].filter((id) => !outside.includes(id));
  }

  /** The properties that ALL, REQUIRED or OPTIONAL stands for. */
  expand(which) {
    return [...this.properties].filter(([, p]) => which === P.ALL || p.required === (which === P.REQUIRED)).map(([id]) => id);
  }

  /** { values: [writers] } or { error: [class, code] }. */
  read(id, index) {
    const property = this.properties.get(id);
    if (!property) return propertyError(ERR.UNKNOWN_PROPERTY);
    const content = property.read();
    if (content === READ_RANGE_ONLY) return propertyError(ERR.READ_ACCESS_DENIED);
    if (index === ALL) return { values: content.array || content };
    if (!content.array) return propertyError(ERR.PROPERTY_IS_NOT_AN_ARRAY);
    if (index === 0) return { values: [value.unsigned(content.array.length)] };
    if (index > content.array.length) return propertyError(ERR.INVALID_ARRAY_INDEX);
    return { values: [content.array[index - 1]] };
  }

  /** Nothing on success, else { error: [class, code] }. `values` as the library decodes them. */
  write(id, index, values, priority) {
    const property = this.properties.get(id);
    if (!property) return propertyError(ERR.UNKNOWN_PROPERTY);
    if (!property.write) return propertyError(ERR.WRITE_ACCESS_DENIED);
    if (index !== ALL) return propertyError(ERR.PROPERTY_IS_NOT_AN_ARRAY);
    if (values.length !== 1) return propertyError(ERR.INVALID_DATA_TYPE);
    return property.write(values[0], priority);
  }

  /** The configured description, if any; a writable one can be changed by WriteProperty. */
  describe(config, writable) {
    if (config.description === undefined) return;
    this.description = String(config.description);
    const write = writable ? writeOf(TAG.CHARACTER_STRING, (t) => (this.description = t)) : undefined;
    this.define(P.DESCRIPTION, false, () => [value.text(this.description)], write);
  }

  /** Further properties of the configuration, typed by their JSON value or as {type, value}. */
  defineExtra(config, where) {
    for (const [name, given] of Object.entries(config.properties || {})) {
      const id = /^\d+$/.test(name) ? Number(name) : enumValue(P, name, `${where}.properties`);
      const writer = typedValue(given, `${where}.properties.${name}`);
      this.define(id, false, () => (Array.isArray(writer) ? { array: writer } : [writer]));
    }
  }
}

function typedValue(given, where) {
  if (Array.isArray(given)) {
    return given.every((g) => typeof g === 'boolean') ? value.bits(given) : given.map((g) => typedValue(g, where));
  }
  if (given && typeof given === 'object') {
    const make = value[given.type];
    if (!make || given.type === 'objectId') throw new ConfigError(`${where}: unknown value type ${JSON.stringify(given.type)}`);
    return make(given.value);
  }
  if (typeof given === 'string') return value.text(given);
  if (typeof given === 'boolean') return value.boolean(given);
  if (typeof given === 'number') return Number.isInteger(given) && given >= 0 ? value.unsigned(given) : value.real(given);
  throw new ConfigError(`${where}: unsupported value ${JSON.stringify(given)}`);
}

// Point object types (analog, binary, multi-state; input, output, value): [kind of present value, role].
const POINTS = {};
for (const [prefix, kind] of [['ANALOG', 'real'], ['BINARY', 'binary'], ['MULTI_STATE', 'multistate']]) {
  for (const role of ['input', 'output', 'value']) POINTS[OT[`${prefix}_${role.toUpperCase()}`]] = [kind, role];
}
// Per kind of present value: its application tag, its writer and the datum kind of a trend log of it.
const KINDS = {
  real: { tag: TAG.REAL, writer: value.real, datum: 'real' },
  binary: { tag: TAG.ENUMERATED, writer: value.enumerated, datum: 'enumerated' },
  multistate: { tag: TAG.UNSIGNED_INTEGER, writer: value.unsigned, datum: 'unsigned' },
};

function parsePresentValue(kind, given, where) {
  if (kind === 'binary') {
    if (given === 'active' || given === true || given === 1) return 1;
    if (given === 'inactive' || given === false || given === 0) return 0;
    throw new ConfigError(`${where}: not a binary value: ${JSON.stringify(given)}`);
  }
  const number = Number(given);
  if (!Number.isFinite(number) || (kind === 'multistate' && (!Number.isInteger(number) || number < 1))) {
    throw new ConfigError(`${where}: not a ${kind} value: ${JSON.stringify(given)}`);
  }
  return number;
}

class PointObject extends BACnetObject {
  constructor(type, config, where, onChange) {
    super(type, config.instance, config.name);
    [this.kind, this.role] = POINTS[type];
    this.onChange = onChange;
    this.commandable = this.role === 'output' || (this.role === 'value' && config.commandable !== false);
    this.numberOfStates = config.numberOfStates || 3;
    const initial = config.presentValue === undefined ? (this.kind === 'multistate' ? 1 : 0) : config.presentValue;
    this.base = parsePresentValue(this.kind, initial, `${where}.presentValue`);
    this.priority = new Array(16).fill(null);
    this.outOfService = !!config.outOfService;
    this.covIncrement = config.covIncrement === undefined ? 0.1 : config.covIncrement;
    this.drift = this.commandable ? undefined : config.drift;
    this.defineProperties(config, where);
  }

  defineProperties(config, where) {
    const typed = KINDS[this.kind].writer;
    const changed = () => this.onChange(this);
    this.define(P.PRESENT_VALUE, true, () => [typed(this.presentValue())], (v, priority) => this.writePresentValue(v, priority));
    this.define(P.STATUS_FLAGS, true, () => [value.bits(this.statusFlags())]);
    this.constant(P.EVENT_STATE, true, 'enumerated', 0);
    this.define(P.OUT_OF_SERVICE, true, () => [value.boolean(this.outOfService)], writeOf(TAG.BOOLEAN, (v) => changed((this.outOfService = !!v))));
    this.describe(config, true);
    if (this.kind === 'real') {
      this.constant(P.UNITS, true, 'enumerated', enumValue(bac.EngineeringUnits, config.units || 'no-units', `${where}.units`));
      this.define(P.COV_INCREMENT, false, () => [value.real(this.covIncrement)], writeOf(TAG.REAL, (v) => (this.covIncrement = v)));
    }
    if (this.kind === 'binary' && this.role !== 'value') this.constant(P.POLARITY, true, 'enumerated', 0);
    if (this.kind === 'multistate') {
      this.define(P.NUMBER_OF_STATES, true, () => [value.unsigned(this.numberOfStates)]);
      if (Array.isArray(config.stateText)) {
        this.define(P.STATE_TEXT, false, () => ({ array: config.stateText.map((t) => value.text(String(t))) }));
      }
    }
    if (this.commandable) {
      this.define(P.PRIORITY_ARRAY, true, () => ({ array: this.priority.map((v) => (v === null ? value.null() : typed(v))) }));
      this.define(P.RELINQUISH_DEFAULT, true, () => [typed(this.base)], (v) => this.checked(v, () => changed((this.base = v.value))));
    }
    this.defineExtra(config, where);
  }

  presentValue() {
    const active = this.commandable ? this.priority.find((v) => v !== null) : undefined;
    return active === undefined ? this.base : active;
  }

  statusFlags() {
    return [false, false, false, this.outOfService];
  }

  /** Runs `assign` when `v` is a present value of this object, else gives the error. */
  checked(v, assign) {
    if (v.type !== KINDS[this.kind].tag) return propertyError(ERR.INVALID_DATA_TYPE);
    const outOfRange =
      (this.kind === 'binary' && v.value !== 0 && v.value !== 1) ||
      (this.kind === 'multistate' && (v.value < 1 || v.value > this.numberOfStates));
    if (outOfRange) return propertyError(ERR.VALUE_OUT_OF_RANGE);
    assign();
    return undefined;
  }

  writePresentValue(v, priority) {
    if (this.role === 'input' && !this.outOfService) return propertyError(ERR.WRITE_ACCESS_DENIED);
    const error = !this.commandable
      ? this.checked(v, () => (this.base = v.value))
      : v.type === TAG.NULL
        ? void (this.priority[priority - 1] = null)
        : this.checked(v, () => (this.priority[priority - 1] = v.value));
    if (!error) this.onChange(this);
    return error;
  }

  /** A new value as a sensor gives it (the relinquish-default of a commandable object). */
  setValue(given) {
    this.base = parsePresentValue(this.kind, given, 'value');
    this.onChange(this);
  }

  /** Moves a drifting value on: a sine for REAL, a toggle each half period for the others. */
  advance(nowMs, startMs) {
    if (!this.drift) return;
    const periodMs = (this.drift.periodSeconds || 600) * 1000;
    if (this.kind === 'real') {
      this.driftBase = this.driftBase === undefined ? this.base : this.driftBase;
      this.base = this.driftBase + (this.drift.amplitude || 0) * Math.sin((2 * Math.PI * ((nowMs - startMs) % periodMs)) / periodMs);
    } else {
      const step = Math.floor((nowMs - startMs) / (periodMs / 2));
      const next = this.kind === 'binary' ? step % 2 : (step % this.numberOfStates) + 1;
      if (next === this.base) return;
      this.base = next;
    }
    this.onChange(this);
  }

  /** The values that a COV notification for `property` (or the whole object) carries. */
  covValues(property = P.PRESENT_VALUE) {
    return [
      { id: property, values: this.read(property, ALL).values },
      { id: P.STATUS_FLAGS, values: [value.bits(this.statusFlags())] },
    ];
  }

  /** What a COV notification compares: present value (or the property) and status flags. */
  covState(property = P.PRESENT_VALUE) {
    const state = property === P.PRESENT_VALUE ? this.presentValue() : property === P.OUT_OF_SERVICE ? this.outOfService : undefined;
    return { value: state, flags: this.statusFlags().join() };
  }
}

// Log datum kinds, and how a record's value becomes each.
const DATUM_KINDS = {
  real: (v) => v,
  enumerated: (v) => (v >= 0.5 ? Math.round(v) : 0),
  unsigned: (v) => (v <= 0 ? 0 : Math.round(v)),
};
const DATUM_OF_TYPE = { ...Object.fromEntries(Object.entries(POINTS).map(([t, [kind]]) => [t, KINDS[kind].datum])), [OT.ACCUMULATOR]: 'unsigned' };

/** "[<device>/]<type>:<instance>[/<property>]" */
function parseReference(text, where) {
  const parts = text.split('/');
  const deviceInstance = parts.length > 1 && /^\d+$/.test(parts[0]) ? Number(parts.shift()) : undefined;
  const id = parseObjectId(parts[0], where);
  const property = parts[1] === undefined ? P.PRESENT_VALUE : enumValue(P, parts[1], where);
  return { objectType: id.type, objectInstance: id.instance, property, deviceInstance };
}

class TrendLog extends BACnetObject {
  constructor(config, where) {
    super(OT.TREND_LOG, config.instance, config.name);
    if (typeof config.logs !== 'string') throw new ConfigError(`${where}.logs: a reference such as "analog-input:1" is required`);
    this.reference = parseReference(config.logs, `${where}.logs`);
    this.enable = config.enable !== false;
    this.log = config.log || {};
    this.where = where;
    this.datumKind = 'real';
    this.defineProperties(config, where);
  }

  /** Once every device is built: the logged object's datatype decides the datum kind and the record shape. */
  resolve(site, ownDevice, loadTimeMs) {
    const ref = this.reference;
    const device = ref.deviceInstance === undefined ? ownDevice : site.deviceByInstance(ref.deviceInstance);
    const logged = device && device.objects.get(objectKey(ref.objectType, ref.objectInstance));
    if (logged && logged.kind) {
      this.datumKind = KINDS[logged.kind].datum;
    } else if (ref.property === P.PRESENT_VALUE) {
      // An object left out of the simulation, or of a device elsewhere: its type tells the datatype.
      this.datumKind = DATUM_OF_TYPE[ref.objectType] || 'real';
    }
    this.series = new LogSeries(this.log, `${this.where}.log`, this.datumKind, loadTimeMs);
  }

  defineProperties(config, where) {
    const unsigned = (f) => () => [value.unsigned(f(this.series, Date.now()))];
    this.define(P.ENABLE, true, () => [value.boolean(this.enable)], writeOf(TAG.BOOLEAN, (v) => (this.enable = !!v)));
    this.constant(P.STOP_WHEN_FULL, true, 'boolean', false);
    this.define(P.BUFFER_SIZE, true, unsigned((s) => s.bufferSize));
    this.define(P.LOG_BUFFER, true, () => READ_RANGE_ONLY);
    this.define(P.RECORD_COUNT, true, unsigned((s, now) => s.held(now)));
    this.define(P.TOTAL_RECORD_COUNT, true, unsigned((s, now) => s.total(now) % 2 ** 32));
    this.constant(P.EVENT_STATE, true, 'enumerated', 0);
    this.constant(P.STATUS_FLAGS, true, 'bits', [false, false, false, false]);
    this.constant(P.LOGGING_TYPE, true, 'enumerated', 0);
    this.define(P.LOG_DEVICE_OBJECT_PROPERTY, false, () => [deviceObjectPropertyReference(this.reference)]);
    this.define(P.LOG_INTERVAL, false, unsigned((s) => Math.round(s.intervalMs / 10)));
    this.define(P.START_TIME, false, () => [dateTimeValue(this.series.startMs)]);
    this.describe(config, false);
    if (config.resetAdjustValue !== undefined) this.constant(512, false, 'unsigned', config.resetAdjustValue);
    this.defineExtra(config, where);
  }

  /** The log record with sequence number n. */
  record(n) {
    const kind = this.datumKind;
    return { time: this.series.timeOf(n), kind, value: DATUM_KINDS[kind](this.series.valueOf(n)), statusFlags: [false, false, false, false] };
  }
}

const SERVICES_EXECUTED = [
  'CONFIRMED_COV_NOTIFICATION', 'UNCONFIRMED_COV_NOTIFICATION', 'SUBSCRIBE_COV', 'SUBSCRIBE_COV_PROPERTY', 'READ_PROPERTY',
  'READ_PROPERTY_MULTIPLE', 'WRITE_PROPERTY', 'READ_RANGE', 'WHO_IS', 'I_AM',
].map((name) => bac.ServicesSupported[name]);
const OBJECT_TYPES = [OT.DEVICE, OT.TREND_LOG, ...Object.keys(POINTS).map(Number)];
const bitList = (count, set) => Array.from({ length: count }, (_, i) => set.includes(i));

class DeviceObject extends BACnetObject {
  constructor(d, config) {
    super(OT.DEVICE, d.instance, config.name || `Device ${d.instance}`);
    const constants = [
      [P.SYSTEM_STATUS, true, 'enumerated', 0],
      [P.VENDOR_NAME, true, 'text', config.vendorName || 'Simulated vendor'],
      [P.VENDOR_IDENTIFIER, true, 'unsigned', d.vendorId],
      [P.MODEL_NAME, true, 'text', config.modelName || 'Simulated device'],
      [P.FIRMWARE_REVISION, true, 'text', '1.0'],
      [P.APPLICATION_SOFTWARE_VERSION, true, 'text', '1.0'],
      [P.PROTOCOL_VERSION, true, 'unsigned', 1],
      [P.PROTOCOL_REVISION, true, 'unsigned', 14],
      [P.PROTOCOL_SERVICES_SUPPORTED, true, 'bits', bitList(41, SERVICES_EXECUTED)],
      [P.PROTOCOL_OBJECT_TYPES_SUPPORTED, true, 'bits', bitList(60, OBJECT_TYPES)],
    ];
    constants.forEach((c) => this.constant(...c));
    this.define(P.OBJECT_LIST, true, () => ({ array: [...d.objects.values()].map((o) => value.objectId(o.type, o.instance)) }));
    const settings = [
      [P.MAX_APDU_LENGTH_ACCEPTED, true, 'unsigned', d.maxApdu],
      [P.SEGMENTATION_SUPPORTED, true, 'enumerated', d.segmentation],
      [P.MAX_SEGMENTS_ACCEPTED, false, 'unsigned', d.maxSegments],
      [P.APDU_TIMEOUT, true, 'unsigned', d.apduTimeoutMs],
      [P.NUMBER_OF_APDU_RETRIES, true, 'unsigned', d.apduRetries],
    ];
    settings.forEach((c) => this.constant(...c));
    this.define(P.DEVICE_ADDRESS_BINDING, true, () => []);
    this.constant(P.DATABASE_REVISION, true, 'unsigned', 1);
    this.define(P.LOCAL_DATE, false, () => [value.date(Date.now())]);
    this.define(P.LOCAL_TIME, false, () => [value.time(Date.now())]);
    this.define(P.UTC_OFFSET, false, () => [value.signed(new Date().getTimezoneOffset())]);
    this.constant(P.DAYLIGHT_SAVINGS_STATUS, false, 'boolean', false);
    this.describe(config, false);
    if (config.location !== undefined) this.constant(P.LOCATION, false, 'text', String(config.location));
    this.defineExtra(config, 'device');
  }
}

/** Builds a configured object; unsupported types give undefined (the caller reports them). */
function createObject(config, where, onChange) {
  if (!Number.isInteger(config.instance) || config.instance < 0 || config.instance > 4194302) {
    throw new ConfigError(`${where}.instance: 0 to 4194302 required`);
  }
  const type = enumValue(OT, config.type, `${where}.type`);
  const named = { ...config, name: config.name || `${config.type}:${config.instance}` };
  if (POINTS[type]) return new PointObject(type, named, where, onChange);
  return type === OT.TREND_LOG ? new TrendLog(named, where) : undefined;
}

module.exports = { ConfigError, enumValue, objectKey, parseObjectId, createObject, DeviceObject, PointObject, TrendLog };
