#!/usr/bin/env node
'use strict';
// The library's own client as an independent BACnet/IP client, steered by line commands:
//
//   node client.js --broadcast <ip:port>
//
// Prints "ready", then answers each command on standard input with one JSON line. Devices are named by
// instance and reached at the address their I-Am came from (run "whois" first); objects are
// "<type>:<instance>" and properties numbers, as on the wire.
//
//   whois [<ip:port>]                          {"devices":[<instance>,...]} (to the broadcast address, or
//                                              to that station only)
//   read <device> <object> <property> [<index>]     {"values":[...]} (an object list: {"count":n})
//   rpm <device> <type> <first> <last> <property,...> <max APDU octets>
//                                              {"objects":n,"values":n,"errors":n}
//   readrange <device> <object> <count a page>  {"records":n,"pages":n,"first":{...},"last":{...}}
//   readrangeby <device> <object> sequence|time <sequence number|ISO time> <count>
//                                              one page: {"items":n,"flags":[first,last,more],"first":{...},"last":{...}}
//   write <device> <object> <property> <REAL|null|u:UNSIGNED|b:0|b:1> <priority>   {"ok":true}
//   subscribe <device> <object> <process id> confirmed|unconfirmed <lifetime s>   {"ok":true}
//   notifications <count> <ms>                 the COV notifications received so far, once there are
//                                              <count> or <ms> have passed; confirmed ones were acknowledged
//
// A failed request answers {"error":"<the library's message>"}.
//
// As a benchmark, the library's client throughput against one device as a reference for ours:
//
//   node client.js --device <ip:port> [--instance <n>] [--seconds <s>] [--objects <k>] [--outstanding <n>]
//                  [--trend-log <instance>] [--count <records a page>]
//
// ReadPropertyMultiple of present-value, status-flags, object-name and out-of-service of the device's first k
// point objects for s seconds; then ReadRange pages of the trend log's buffer by position, from its start to its
// last record and over again, for s seconds. n lanes each keep one request outstanding (each ReadRange lane
// pages on its own). One line each:
//
//   rpm requests=<n> seconds=<s> requests_per_second=<r>
//   readrange records=<n> pages=<p> seconds=<s> records_per_second=<r>

const dgram = require('dgram');
const readline = require('readline');
const Client = require('@bacnet-js/client').default;
const bac = require('@bacnet-js/client');
const baApdu = require('@bacnet-js/client/dist/lib/apdu');
const baNpdu = require('@bacnet-js/client/dist/lib/npdu');
const { ReadRange } = require('@bacnet-js/client/dist/lib/services');

const COMMANDS = ['whois', 'read', 'rpm', 'readrange', 'readrangeby', 'write', 'subscribe', 'notifications'];
const WHO_IS_WINDOW_MS = 500;
const LAST_ITEM = 2;
const PRESENT_VALUE = 85;
const POINT_TYPES = [0, 1, 2, 3, 4, 5, 13, 14, 19];
const BENCH_PROPERTIES = [85, 111, 77, 81].map((id) => ({ id, index: bac.ASN1_ARRAY_ALL }));
const APDU_SIZES = { 480: bac.MaxApduLengthAccepted.OCTETS_480, 1476: bac.MaxApduLengthAccepted.OCTETS_1476 };

/** A free UDP port of 127.0.0.1: the library's transport cannot bind port 0. */
function freePort() {
  return new Promise((resolve) => {
    const probe = dgram.createSocket('udp4');
    probe.bind(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

function objectOf(text) {
  const [type, instance] = text.split(':').map(Number);
  return { type, instance };
}

/** A value as the test compares it: identifiers as "type:instance", bit strings as their bits, numbers to 3 decimals. */
function plain(value) {
  if (value && typeof value === 'object' && 'instance' in value) return `${value.type}:${value.instance}`;
  if (value && typeof value === 'object' && 'bitsUsed' in value) return value.value;
  return typeof value === 'number' ? Math.round(value * 1000) / 1000 : value;
}

class Session {
  constructor(client) {
    Object.assign(this, { client, devices: new Map(), heard: [] });
    client.on('iAm', (content) => this.devices.set(content.payload.deviceId, content.header.sender.address));
    client.on('covNotifyUnconfirmed', (content) => this.received(content, false));
    client.on('covNotify', (content) => {
      client.simpleAckResponse(content.header.sender, content.service, content.invokeId);
      this.received(content, true);
    });
  }

  received(content, confirmed) {
    const { monitoredObjectId, values } = content.payload;
    const presentValue = values.find((v) => v.property.id === PRESENT_VALUE);
    this.heard.push({ confirmed, object: plain(monitoredObjectId), presentValue: presentValue ? plain(presentValue.value[0].value) : null });
  }

  receiver(instance) {
    const address = this.devices.get(Number(instance));
    if (!address) throw new Error(`device ${instance} was not found by Who-Is`);
    return { address };
  }

  async whois(address) {
    this.devices.clear();
    this.client.whoIs(address ? { address } : undefined);
    await new Promise((resolve) => setTimeout(resolve, WHO_IS_WINDOW_MS));
    const devices = [...this.devices].sort((a, b) => a[0] - b[0]);
    return { devices: devices.map(([instance]) => instance) };
  }

  async read(device, object, property, index) {
    const options = index === undefined ? {} : { arrayIndex: Number(index) };
    const ack = await this.client.readProperty(this.receiver(device), objectOf(object), Number(property), options);
    if (Number(property) === bac.PropertyIdentifier.OBJECT_LIST && index === undefined) return { count: ack.values.length };
    return { values: ack.values.map((v) => plain(v.value)) };
  }

  async rpm(device, type, first, last, properties, maxApdu) {
    const refs = properties.split(',').map((id) => ({ id: Number(id), index: bac.ASN1_ARRAY_ALL }));
    const request = [];
    for (let instance = Number(first); instance <= Number(last); instance++) request.push({ objectId: { type: Number(type), instance }, properties: refs });
    const ack = await this.client.readPropertyMultiple(this.receiver(device), request, { maxApdu: APDU_SIZES[maxApdu] });
    const entries = ack.values.flatMap((o) => o.values);
    const errors = entries.filter((e) => e.value.some((v) => v.type === bac.ApplicationTag.ERROR)).length;
    return { objects: ack.values.length, values: entries.length - errors, errors };
  }

  async readrange(device, object, count) {
    let [records, pages, first, last] = [0, 0];
    for (let position = 1; ; ) {
      const page = await this.client.readRange(this.receiver(device), objectOf(object), position, Number(count));
      pages++;
      records += page.itemCount;
      const logged = (page.values || []).map((r) => ({ time: r.timestamp.toISOString(), value: plain(r.value) }));
      first = first || logged[0];
      last = logged[logged.length - 1] || last;
      if (page.itemCount === 0 || (page.resultFlag.value[0] & LAST_ITEM) !== 0) break;
      position += page.itemCount;
    }
    return { records, pages, first, last };
  }

  /** The library's client sends ReadRange by position only: this one is its readRange() with the other ranges, on
   * the library's own encoder and decoder. */
  async readrangeby(device, object, by, reference, count) {
    const client = this.client;
    const receiver = this.receiver(device);
    const invokeId = client._getInvokeId();
    const buffer = client._getApduBuffer(receiver);
    baNpdu.encode(buffer, bac.NpduControlPriority.NORMAL_MESSAGE | bac.NpduControlBit.EXPECTING_REPLY, receiver);
    baApdu.encodeConfirmedServiceRequest(buffer, bac.PduType.CONFIRMED_REQUEST, bac.ConfirmedServiceChoice.READ_RANGE,
      bac.MaxSegmentsAccepted.SEGMENTS_65, bac.MaxApduLengthAccepted.OCTETS_1476, invokeId, 0, 0);
    const bySequence = by === 'sequence';
    ReadRange.encode(buffer, objectOf(object), bac.PropertyIdentifier.LOG_BUFFER, bac.ASN1_ARRAY_ALL,
      bySequence ? bac.ReadRangeType.BY_SEQUENCE_NUMBER : bac.ReadRangeType.BY_TIME_REFERENCE_TIME_COUNT,
      bySequence ? Number(reference) : 0, bySequence ? new Date() : new Date(reference), Number(count));
    client.sendBvlc(receiver, buffer);
    const data = await client._requestManager.add(invokeId);
    const page = ReadRange.decodeAcknowledge(data.buffer, data.offset, data.length);
    if (!page) throw new Error('INVALID_DECODING');
    const logged = (page.values || []).map((r) => ({ time: r.timestamp.toISOString(), value: plain(r.value) }));
    const flags = [1, 2, 4].map((bit) => (page.resultFlag.value[0] & bit) !== 0);
    return { items: page.itemCount, flags, first: logged[0], last: logged[logged.length - 1] };
  }

  async write(device, object, property, value, priority) {
    const unsigned = value.startsWith('u:') ? { type: bac.ApplicationTag.UNSIGNED_INTEGER, value: Number(value.slice(2)) } : undefined;
    const boolean = value.startsWith('b:') ? { type: bac.ApplicationTag.BOOLEAN, value: value === 'b:1' } : undefined;
    const written = value === 'null' ? { type: bac.ApplicationTag.NULL } : unsigned || boolean || { type: bac.ApplicationTag.REAL, value: Number(value) };
    await this.client.writeProperty(this.receiver(device), objectOf(object), Number(property), [written], { priority: Number(priority) });
    return { ok: true };
  }

  async subscribe(device, object, processId, kind, lifetime) {
    await this.client.subscribeCov(this.receiver(device), objectOf(object), Number(processId), false, kind === 'confirmed', Number(lifetime));
    return { ok: true };
  }

  async notifications(count, ms) {
    const deadline = Date.now() + Number(ms);
    while (this.heard.length < Number(count) && Date.now() < deadline) {
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    return { notifications: this.heard.map((n) => JSON.stringify(n)).sort().map((n) => JSON.parse(n)) };
  }
}

/** Runs `step(figures, lane)` in `lanes` lanes, each one step after the other, until `seconds` have passed; prints
 * `name`, the figures it counted and their rate per second. */
async function timed(name, seconds, lanes, step) {
  const started = process.hrtime.bigint();
  const deadline = started + BigInt(Math.round(seconds * 1e9));
  const figures = {};
  const lane = async (index) => {
    while (process.hrtime.bigint() < deadline) await step(figures, index);
  };
  await Promise.all(Array.from({ length: lanes }, (_, index) => lane(index)));
  const elapsed = Number(process.hrtime.bigint() - started) / 1e9;
  const [first, count] = Object.entries(figures)[0];
  const counted = Object.entries(figures).map(([figure, n]) => `${figure}=${n} `).join('');
  console.log(`${name} ${counted}seconds=${elapsed.toFixed(3)} ${first}_per_second=${(count / elapsed).toFixed(1)}`);
}

async function bench(client, argv) {
  const options = { device: undefined, instance: 4194303, seconds: 3, objects: 5, outstanding: 1, trendLog: 1, count: 1000 };
  for (let i = 0; i < argv.length; i += 2) {
    const name = argv[i].replace(/^--/, '').replace('-l', 'L');
    if (!(name in options) || argv[i + 1] === undefined) throw new Error(`unknown or incomplete option ${argv[i]}`);
    options[name] = name === 'device' ? argv[i + 1] : Number(argv[i + 1]);
  }
  const receiver = { address: options.device };
  const list = await client.readProperty(receiver, { type: bac.ObjectType.DEVICE, instance: options.instance }, bac.PropertyIdentifier.OBJECT_LIST);
  const points = list.values.map((v) => v.value).filter((id) => POINT_TYPES.includes(id.type)).slice(0, options.objects);
  if (points.length === 0) throw new Error('the device has no point objects');
  const request = points.map((objectId) => ({ objectId, properties: BENCH_PROPERTIES }));
  await timed('rpm', options.seconds, options.outstanding, async (figures) => {
    await client.readPropertyMultiple(receiver, request);
    figures.requests = (figures.requests || 0) + 1;
  });
  const positions = Array.from({ length: options.outstanding }, () => 1);
  const log = { type: bac.ObjectType.TREND_LOG, instance: options.trendLog };
  await timed('readrange', options.seconds, options.outstanding, async (figures, lane) => {
    const page = await client.readRange(receiver, log, positions[lane], options.count);
    figures.records = (figures.records || 0) + page.itemCount;
    figures.pages = (figures.pages || 0) + 1;
    positions[lane] = page.itemCount === 0 || (page.resultFlag.value[0] & LAST_ITEM) !== 0 ? 1 : positions[lane] + page.itemCount;
  });
}

async function main() {
  const argv = process.argv.slice(2);
  const broadcast = argv[argv.indexOf('--broadcast') + 1];
  if (argv[0] !== '--device' && (argv.indexOf('--broadcast') < 0 || !broadcast)) throw new Error('usage: client.js --broadcast <ip:port>');
  const client = new Client({ port: await freePort(), interface: '127.0.0.1', broadcastAddress: broadcast, apduTimeout: 3000 });
  if (argv[0] === '--device') {
    try {
      await bench(client, argv);
    } finally {
      client.close();
    }
    return;
  }
  await new Promise((resolve) => client.on('listening', resolve));
  const session = new Session(client);
  const lines = readline.createInterface({ input: process.stdin });
  console.log('ready');
  for await (const line of lines) {
    const [command, ...args] = line.trim().split(/\s+/);
    try {
      if (!COMMANDS.includes(command)) throw new Error(`unknown command ${command}`);
      console.log(JSON.stringify(await session[command](...args)));
    } catch (e) {
      console.log(JSON.stringify({ error: e.message }));
    }
  }
  client.close();
}

main().catch((e) => {
  process.stderr.write(`error ${e.message}\n`);
  process.exit(1);
});
