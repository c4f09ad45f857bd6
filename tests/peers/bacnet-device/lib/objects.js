'use strict';
// The objects of a simulated device: point objects (analog, binary, multi-state; inputs, outputs,
// values), trend logs and the device object. Each object keeps a table of its properties; a
// property reads as a list of value writers (see codec.value), or as an array of them.

const { bac, value, dateTimeValue, deviceObjectPropertyReference } = require('./codec');
const { LogSeries } = require('./log-series');

const P = bac.PropertyIdentifier;
const OT = bac.ObjectType;
const EC = bac.ErrorClass;
const ERR = bac.ErrorCode;
const TAG = bac.ApplicationTag;

class ConfigError extends Error {}

/** A number, or a standard name ("analog-input", "degrees-celsius") looked up in an enumeration. */
function enumValue(group, name, where) {
  if (Number.isInteger(name)) {
    return name;
  }
  const key = String(name).toUpperCase().replace(/-/g, '_');
  if (typeof name !== 'string' || group[key] === undefined) {
    throw new ConfigError(`${where}: unknown name ${JSON.stringify(name)}`);
  }
  return group[key];
}

function objectKey(type, instance) {
  return `${type}:${instance}`;
}

/** "analog-input:1" or "0:1" to { type, instance }. */
function parseObjectId(text, where) {
  const match = /^([a-z0-9-]+):(\d+)$/.exec(String(text));
  if (!match) {
    throw new ConfigError(`${where}: not an object identifier: ${JSON.stringify(text)}`);
  }
  const type = /^\d+$/.test(match[1]) ? Number(match[1]) : enumValue(OT, match[1], where);
  return { type, instance: Number(match[2]) };
}

function propertyError(code) {
  return { error: [EC.PROPERTY, code] };
}

class BACnetObject {
  constructor(type, instance, name) {
    this.type = type;
    this.instance = instance;
    this.name = name;
    this.properties = new Map();
    this.define(P.OBJECT_IDENTIFIER, true, () => [value.objectId(this.type, this.instance)]);
    this.define(P.OBJECT_NAME, true, () => [value.text(this.name)], (v) => this.writeText(v, (t) => (this.name = t)));
    this.define(P.OBJECT_TYPE, true, () => [value.enumerated(this.type)]);
    this.define(P.PROPERTY_LIST, true, () => ({ array: this.propertyList().map((id) => value.enumerated(id)) }));
  }

  get key() {
    return objectKey(this.type, this.instance);
  }

  /** Adds a property: `read()` gives its value, `write(value, priority)` an error or nothing. */
  define(id, required, read, write) {
    this.properties.set(id, { required, read, write });
  }

  propertyList() {
    const outside = [P.OBJECT_IDENTIFIER, P.OBJECT_NAME, P.OBJECT_TYPE, P.PROPERTY_LIST];
    return [...this.properties.keys()].filter((id) => !outside.includes(id));
  }

  /** The properties that ALL, REQUIRED or OPTIONAL stands for. */
  expand(which) {
    return [...this.properties.entries()]
      .filter(([, p]) => which === P.ALL || p.required === (which === P.REQUIRED))
      .map(([id]) => id);
  }

  /** { values: [writers] } or { error: [class, code] }. */
  read(id, index) {
    const property = this.properties.get(id);
    if (!property) {
      return propertyError(ERR.UNKNOWN_PROPERTY);
    }
    const content = property.read();
    if (content === READ_RANGE_ONLY) {
      return propertyError(ERR.READ_ACCESS_DENIED);
    }
    if (index === bac.ASN1_ARRAY_ALL) {
      return { values: content.array || content };
    }
    if (!content.array) {
      return propertyError(ERR.PROPERTY_IS_NOT_AN_ARRAY);
    }
    if (index === 0) {
      return { values: [value.unsigned(content.array.length)] };
    }
    if (index > content.array.length) {
      return propertyError(ERR.INVALID_ARRAY_INDEX);
    }
    return { values: [content.array[index - 1]] };
  }

  /** Nothing on success, else { error: [class, code] }. `values` as the library decodes them. */
  write(id, index, values, priority) {
    const property = this.properties.get(id);
    if (!property) {
      return propertyError(ERR.UNKNOWN_PROPERTY);
    }
    if (!property.write) {
      return propertyError(ERR.WRITE_ACCESS_DENIED);
    }
    if (index !== bac.ASN1_ARRAY_ALL) {
      return propertyError(ERR.PROPERTY_IS_NOT_AN_ARRAY);
    }
    if (values.length !== 1) {
      return propertyError(ERR.INVALID_DATA_TYPE);
    }
    return property.write(values[0], priority);
  }

  writeText(v, assign) {
    if (v.type !== TAG.CHARACTER_STRING) {
      return propertyError(ERR.INVALID_DATA_TYPE);
    }
    assign(v.value);
    return undefined;
  }

  /** Further properties from the configuration, typed by their JSON value or as {type, value}. */
  defineExtra(properties, where) {
    for (const [name, given] of Object.entries(properties || {})) {
      const id = /^\d+$/.test(name) ? Number(name) : enumValue(P, name, `${where}.properties`);
      const writer = typedValue(given, `${where}.properties.${name}`);
      this.define(id, false, () => (Array.isArray(writer) ? { array: writer } : [writer]));
    }
  }
}

const READ_RANGE_ONLY = Symbol('read-range-only');

function typedValue(given, where) {
  if (given && typeof given === 'object' && !Array.isArray(given)) {
    const make = value[given.type];
    if (!make || given.type === 'objectId') {
      throw new ConfigError(`${where}: unknown value type ${JSON.stringify(given.type)}`);
    }
    return make(given.value);
  }
  if (Array.isArray(given)) {
    return given.every((g) => typeof g === 'boolean') ? value.bits(given) : given.map((g) => typedValue(g, where));
  }
  switch (typeof given) {
    case 'string':
      return value.text(given);
    case 'boolean':
      return value.boolean(given);
    case 'number':
      return Number.isInteger(given) && given >= 0 ? value.unsigned(given) : value.real(given);
    default:
      throw new ConfigError(`${where}: unsupported value ${JSON.stringify(given)}`);
  }
}

// Point object types: how the present value is typed, and whether the object is an input or output.
const POINTS = {
  [OT.ANALOG_INPUT]: { pv: 'real', role: 'input' },
  [OT.ANALOG_OUTPUT]: { pv: 'real', role: 'output' },
  [OT.ANALOG_VALUE]: { pv: 'real', role: 'value' },
  [OT.BINARY_INPUT]: { pv: 'binary', role: 'input' },
  [OT.BINARY_OUTPUT]: { pv: 'binary', role: 'output' },
  [OT.BINARY_VALUE]: { pv: 'binary', role: 'value' },
  [OT.MULTI_STATE_INPUT]: { pv: 'multistate', role: 'input' },
  [OT.MULTI_STATE_OUTPUT]: { pv: 'multistate', role: 'output' },
  [OT.MULTI_STATE_VALUE]: { pv: 'multistate', role: 'value' },
};

const PV_TAG = { real: TAG.REAL, binary: TAG.ENUMERATED, multistate: TAG.UNSIGNED_INTEGER };

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
    const kind = POINTS[type];
    this.kind = kind.pv;
    this.role = kind.role;
    this.onChange = onChange;
    this.commandable = kind.role === 'output' || (kind.role === 'value' && config.commandable !== false);
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
    const pvTag = PV_TAG[this.kind];
    const typed = (v) => (this.kind === 'real' ? value.real(v) : this.kind === 'binary' ? value.enumerated(v) : value.unsigned(v));
    this.define(P.PRESENT_VALUE, true, () => [typed(this.presentValue())], (v, priority) => this.writePresentValue(v, priority));
    this.define(P.STATUS_FLAGS, true, () => [value.bits(this.statusFlags())]);
    this.define(P.EVENT_STATE, true, () => [value.enumerated(0)]);
    this.define(P.OUT_OF_SERVICE, true, () => [value.boolean(this.outOfService)], (v) => {
      if (v.type !== TAG.BOOLEAN) return propertyError(ERR.INVALID_DATA_TYPE);
      this.outOfService = !!v.value;
      this.onChange(this);
      return undefined;
    });
    if (config.description !== undefined) {
      this.description = String(config.description);
      this.define(P.DESCRIPTION, false, () => [value.text(this.description)], (v) =>
        this.writeText(v, (t) => (this.description = t)),
      );
    }
    if (this.kind === 'real') {
      const units = enumValue(bac.EngineeringUnits, config.units || 'no-units', `${where}.units`);
      this.define(P.UNITS, true, () => [value.enumerated(units)]);
      this.define(P.COV_INCREMENT, false, () => [value.real(this.covIncrement)], (v) => {
        if (v.type !== TAG.REAL) return propertyError(ERR.INVALID_DATA_TYPE);
        this.covIncrement = v.value;
        return undefined;
      });
    }
    if (this.kind === 'binary' && this.role !== 'value') {
      this.define(P.POLARITY, true, () => [value.enumerated(0)]);
    }
    if (this.kind === 'multistate') {
      this.define(P.NUMBER_OF_STATES, true, () => [value.unsigned(this.numberOfStates)]);
      if (Array.isArray(config.stateText)) {
        this.define(P.STATE_TEXT, false, () => ({ array: config.stateText.map((t) => value.text(String(t))) }));
      }
    }
    if (this.commandable) {
      this.define(P.PRIORITY_ARRAY, true, () => ({
        array: this.priority.map((v) => (v === null ? value.null() : typed(v))),
      }));
      this.define(P.RELINQUISH_DEFAULT, true, () => [typed(this.base)], (v) => {
        const error = this.checkPresentValue(v, pvTag);
        if (error) return error;
        this.base = v.value;
        this.onChange(this);
        return undefined;
      });
    }
    this.defineExtra(config.properties, where);
  }

  presentValue() {
    if (this.commandable) {
      const active = this.priority.find((v) => v !== null);
      return active === undefined ? this.base : active;
    }
    return this.base;
  }

  statusFlags() {
    return [false, false, false, this.outOfService];
  }

  checkPresentValue(v, tag) {
    if (v.type !== tag) {
      return propertyError(ERR.INVALID_DATA_TYPE);
    }
    if (this.kind === 'binary' && v.value !== 0 && v.value !== 1) {
      return propertyError(ERR.VALUE_OUT_OF_RANGE);
    }
    if (this.kind === 'multistate' && (v.value < 1 || v.value > this.numberOfStates)) {
      return propertyError(ERR.VALUE_OUT_OF_RANGE);
    }
    return undefined;
  }

  writePresentValue(v, priority) {
    if (this.role === 'input' && !this.outOfService) {
      return propertyError(ERR.WRITE_ACCESS_DENIED);
    }
    if (this.commandable) {
      if (v.type === TAG.NULL) {
        this.priority[priority - 1] = null;
      } else {
        const error = this.checkPresentValue(v, PV_TAG[this.kind]);
        if (error) return error;
        this.priority[priority - 1] = v.value;
      }
    } else {
      const error = this.checkPresentValue(v, PV_TAG[this.kind]);
      if (error) return error;
      this.base = v.value;
    }
    this.onChange(this);
    return undefined;
  }

  /** A new value as a sensor gives it (the relinquish-default of a commandable object). */
  setValue(given) {
    this.base = parsePresentValue(this.kind, given, 'value');
    this.onChange(this);
  }

  /** Moves a drifting value on: a sine for REAL, a toggle each half period for the others. */
  advance(nowMs, startMs) {
    if (!this.drift) {
      return;
    }
    const periodMs = (this.drift.periodSeconds || 600) * 1000;
    const phase = ((nowMs - startMs) % periodMs) / periodMs;
    if (this.kind === 'real') {
      this.driftBase = this.driftBase === undefined ? this.base : this.driftBase;
      this.base = this.driftBase + (this.drift.amplitude || 0) * Math.sin(2 * Math.PI * phase);
    } else {
      const step = Math.floor((nowMs - startMs) / (periodMs / 2));
      const next = this.kind === 'binary' ? step % 2 : (step % this.numberOfStates) + 1;
      if (next === this.base) return;
      this.base = next;
    }
    this.onChange(this);
  }

  /** The values that a COV notification for `property` (or the whole object) carries. */
  covValues(property) {
    const pv = this.read(property === undefined ? P.PRESENT_VALUE : property, bac.ASN1_ARRAY_ALL);
    return [
      { id: property === undefined ? P.PRESENT_VALUE : property, values: pv.values },
      { id: P.STATUS_FLAGS, values: [value.bits(this.statusFlags())] },
    ];
  }

  /** What a COV notification compares: present value (or the property) and status flags. */
  covState(property) {
    const id = property === undefined ? P.PRESENT_VALUE : property;
    const state = id === P.PRESENT_VALUE ? this.presentValue() : id === P.OUT_OF_SERVICE ? this.outOfService : undefined;
    return { value: state, flags: this.statusFlags().join() };
  }
}

// Log datum kinds that the configuration may mix into a trend log, and how a record's value
// becomes each of them.
const DATUM_KINDS = {
  real: (v) => v,
  boolean: (v) => v >= 0.5,
  enumerated: (v) => (v >= 0.5 ? Math.round(v) : 0),
  unsigned: (v) => (v <= 0 ? 0 : Math.round(v)),
  signed: (v) => Math.round(v),
  'log-status': () => [false, false, true],
  bitstring: (v, n) => [n & 1, n & 2, n & 4, n & 8].map(Boolean),
  null: () => null,
  failure: () => ({ errorClass: EC.COMMUNICATION, errorCode: ERR.TIMEOUT }),
  'time-change': (v, n, intervalSeconds) => intervalSeconds,
  'any-value': (v, n) => [value.real(v), value.unsigned(n)],
};

const DATUM_OF_PV = { real: 'real', binary: 'enumerated', multistate: 'unsigned' };
const DATUM_OF_TYPE = {
  ...Object.fromEntries(Object.entries(POINTS).map(([type, point]) => [type, DATUM_OF_PV[point.pv]])),
  [OT.ACCUMULATOR]: 'unsigned',
};

class TrendLog extends BACnetObject {
  constructor(config, where) {
    super(OT.TREND_LOG, config.instance, config.name);
    if (typeof config.logs !== 'string') {
      throw new ConfigError(`${where}.logs: a reference such as "analog-input:1" is required`);
    }
    this.reference = parseReference(config.logs, `${where}.logs`);
    this.enable = config.enable !== false;
    this.log = config.log || {};
    this.where = where;
    const kinds = (config.log && config.log.datumKinds) || [];
    kinds.forEach((k) => {
      if (!DATUM_KINDS[k]) throw new ConfigError(`${where}.log.datumKinds: unknown kind ${JSON.stringify(k)}`);
    });
    this.datumKinds = kinds;
    this.datumKind = 'real';
    this.defineProperties(config, where);
  }

  /**
   * Called once every device is built: the logged object's datatype decides the datum kind and
   * the defaults of the record shape.
   */
  resolve(site, ownDevice, loadTimeMs) {
    const ref = this.reference;
    const device = ref.deviceInstance === undefined ? ownDevice : site.deviceByInstance(ref.deviceInstance);
    const logged = device && device.objects.get(objectKey(ref.objectType, ref.objectInstance));
    if (logged && logged.kind) {
      this.datumKind = DATUM_OF_PV[logged.kind];
    } else if (ref.property === P.PRESENT_VALUE) {
      // An object left out of the simulation, or of a device elsewhere: its type tells the datatype.
      this.datumKind = DATUM_OF_TYPE[ref.objectType] || 'real';
    }
    this.series = new LogSeries(this.log, `${this.where}.log`, this.datumKind, loadTimeMs);
  }

  defineProperties(config, where) {
    const series = () => this.series;
    this.define(P.ENABLE, true, () => [value.boolean(this.enable)], (v) => {
      if (v.type !== TAG.BOOLEAN) return propertyError(ERR.INVALID_DATA_TYPE);
      this.enable = !!v.value;
      return undefined;
    });
    this.define(P.STOP_WHEN_FULL, true, () => [value.boolean(false)]);
    this.define(P.BUFFER_SIZE, true, () => [value.unsigned(series().bufferSize)]);
    this.define(P.LOG_BUFFER, true, () => READ_RANGE_ONLY);
    this.define(P.RECORD_COUNT, true, () => [value.unsigned(series().held(Date.now()))]);
    this.define(P.TOTAL_RECORD_COUNT, true, () => [value.unsigned(series().total(Date.now()) % 2 ** 32)]);
    this.define(P.EVENT_STATE, true, () => [value.enumerated(0)]);
    this.define(P.STATUS_FLAGS, true, () => [value.bits([false, false, false, false])]);
    this.define(P.LOGGING_TYPE, true, () => [value.enumerated(0)]);
    this.define(P.LOG_DEVICE_OBJECT_PROPERTY, false, () => [deviceObjectPropertyReference(this.reference)]);
    this.define(P.LOG_INTERVAL, false, () => [value.unsigned(Math.round(series().intervalMs / 10))]);
    this.define(P.START_TIME, false, () => [dateTimeValue(series().startMs)]);
    if (config.description !== undefined) {
      this.define(P.DESCRIPTION, false, () => [value.text(String(config.description))]);
    }
    if (config.resetAdjustValue !== undefined) {
      this.define(512, false, () => [value.unsigned(config.resetAdjustValue)]);
    }
    this.defineExtra(config.properties, where);
  }

  /** The log record with sequence number n. */
  record(n) {
    const kind = this.datumKinds.length ? this.datumKinds[(n - 1) % this.datumKinds.length] : this.datumKind;
    const v = this.series.valueOf(n);
    return {
      time: this.series.timeOf(n),
      kind,
      value: DATUM_KINDS[kind](v, n, this.series.intervalMs / 1000),
      statusFlags: [false, false, false, false],
    };
  }
}

/** "[<device>/]<type>:<instance>[/<property>]" */
function parseReference(text, where) {
  const parts = text.split('/');
  let deviceInstance;
  if (parts.length > 1 && /^\d+$/.test(parts[0])) {
    deviceInstance = Number(parts.shift());
  }
  const id = parseObjectId(parts[0], where);
  const property = parts[1] === undefined ? P.PRESENT_VALUE : enumValue(P, parts[1], where);
  return { objectType: id.type, objectInstance: id.instance, property, deviceInstance };
}

const SERVICES_EXECUTED = [
  bac.ServicesSupported.CONFIRMED_COV_NOTIFICATION,
  bac.ServicesSupported.UNCONFIRMED_COV_NOTIFICATION,
  bac.ServicesSupported.SUBSCRIBE_COV,
  bac.ServicesSupported.SUBSCRIBE_COV_PROPERTY,
  bac.ServicesSupported.READ_PROPERTY,
  bac.ServicesSupported.READ_PROPERTY_MULTIPLE,
  bac.ServicesSupported.WRITE_PROPERTY,
  bac.ServicesSupported.READ_RANGE,
  bac.ServicesSupported.WHO_IS,
  bac.ServicesSupported.I_AM,
];

function bitList(count, set) {
  return Array.from({ length: count }, (_, i) => set.includes(i));
}

class DeviceObject extends BACnetObject {
  constructor(device, config) {
    super(OT.DEVICE, device.instance, config.name || `Device ${device.instance}`);
    const d = device;
    this.define(P.SYSTEM_STATUS, true, () => [value.enumerated(0)]);
    this.define(P.VENDOR_NAME, true, () => [value.text(config.vendorName || 'Simulated vendor')]);
    this.define(P.VENDOR_IDENTIFIER, true, () => [value.unsigned(d.vendorId)]);
    this.define(P.MODEL_NAME, true, () => [value.text(config.modelName || 'Simulated device')]);
    this.define(P.FIRMWARE_REVISION, true, () => [value.text('1.0')]);
    this.define(P.APPLICATION_SOFTWARE_VERSION, true, () => [value.text('1.0')]);
    this.define(P.PROTOCOL_VERSION, true, () => [value.unsigned(1)]);
    this.define(P.PROTOCOL_REVISION, true, () => [value.unsigned(14)]);
    this.define(P.PROTOCOL_SERVICES_SUPPORTED, true, () => [value.bits(bitList(41, SERVICES_EXECUTED))]);
    const types = [OT.DEVICE, OT.TREND_LOG, ...Object.keys(POINTS).map(Number)];
    this.define(P.PROTOCOL_OBJECT_TYPES_SUPPORTED, true, () => [value.bits(bitList(60, types))]);
    this.define(P.OBJECT_LIST, true, () => ({
      array: [...d.objects.values()].map((o) => value.objectId(o.type, o.instance)),
    }));
    this.define(P.MAX_APDU_LENGTH_ACCEPTED, true, () => [value.unsigned(d.maxApdu)]);
    this.define(P.SEGMENTATION_SUPPORTED, true, () => [value.enumerated(d.segmentation)]);
    this.define(P.MAX_SEGMENTS_ACCEPTED, false, () => [value.unsigned(d.maxSegments)]);
    this.define(P.APDU_TIMEOUT, true, () => [value.unsigned(d.apduTimeoutMs)]);
    this.define(P.NUMBER_OF_APDU_RETRIES, true, () => [value.unsigned(d.apduRetries)]);
    this.define(P.DEVICE_ADDRESS_BINDING, true, () => []);
    this.define(P.DATABASE_REVISION, true, () => [value.unsigned(1)]);
    this.define(P.LOCAL_DATE, false, () => [value.date(Date.now())]);
    this.define(P.LOCAL_TIME, false, () => [value.time(Date.now())]);
    this.define(P.UTC_OFFSET, false, () => [value.signed(new Date().getTimezoneOffset())]);
    this.define(P.DAYLIGHT_SAVINGS_STATUS, false, () => [value.boolean(false)]);
    for (const member of ['description', 'location']) {
      if (config[member] !== undefined) {
        this.define(P[member.toUpperCase()], false, () => [value.text(String(config[member]))]);
      }
    }
    this.defineExtra(config.properties, 'device');
  }
}

/** Builds a configured object; unsupported types give undefined (the caller reports them). */
function createObject(config, where, onChange) {
  if (!Number.isInteger(config.instance) || config.instance < 0 || config.instance > 4194302) {
    throw new ConfigError(`${where}.instance: 0 to 4194302 required`);
  }
  const type = enumValue(OT, config.type, `${where}.type`);
  const named = { ...config, name: config.name || `${config.type}:${config.instance}` };
  if (POINTS[type]) {
    return new PointObject(type, named, where, onChange);
  }
  if (type === OT.TREND_LOG) {
    return new TrendLog(named, where);
  }
  return undefined;
}

module.exports = {
  ConfigError,
  enumValue,
  objectKey,
  parseObjectId,
  createObject,
  DeviceObject,
  PointObject,
  TrendLog,
};
