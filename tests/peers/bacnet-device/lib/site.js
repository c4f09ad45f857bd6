'use strict';
// A simulated site over BACnet/IP: the devices of a site file, their sockets, the router to the
// devices on remote networks, an optional BBMD, the periodic tick, and the line commands by
// which a test steers the site while it runs.

const { Device } = require('./device');
const { Endpoint, macKey } = require('./network');
const { ConfigError, TrendLog } = require('./objects');

function macBytes(mac, position, where) {
  if (mac === undefined) return [position + 1];
  const text = String(mac);
  const ip = /^(\d+)\.(\d+)\.(\d+)\.(\d+):(\d+)$/.exec(text);
  if (ip) {
    const port = Number(ip[5]);
    return [...ip.slice(1, 5).map(Number), port >> 8, port & 0xff];
  }
  if (!/^([0-9a-fA-F]{2})+$/.test(text)) {
    throw new ConfigError(`${where}.mac: hex octets ("0a") or "a.b.c.d:port" required`);
  }
  return [...Buffer.from(text, 'hex')];
}

class Site {
  /** `out(line)` prints a line for the test; `options.bind` overrides the default bind address. */
  constructor(config, options, out) {
    this.out = out;
    this.config = config;
    this.defaultBind = options.bind || config.bind || '127.0.0.1';
    this.tickMs = config.tickMs || 500;
    if (!Array.isArray(config.devices) || config.devices.length === 0) {
      throw new ConfigError('devices: a list of at least one device required');
    }
    this.devices = config.devices.map((c, i) => new Device(this, c, `devices[${i}]`));
    const seen = new Set();
    for (const d of this.devices) {
      if (seen.has(d.instance)) throw new ConfigError(`devices: instance ${d.instance} exists twice`);
      seen.add(d.instance);
    }
    this.startMs = Date.now();
    for (const device of this.devices) {
      for (const object of device.objects.values()) {
        if (object instanceof TrendLog) object.resolve(this, device, this.startMs);
      }
    }
    this.endpoints = [];
  }

  say(line) {
    this.out(line);
  }

  warn(line) {
    process.stderr.write(`${line}\n`);
  }

  deviceByInstance(instance) {
    return this.devices.find((d) => d.instance === instance);
  }

  async start() {
    const routes = new Map();
    this.devices.forEach((device, i) => {
      if (device.network === 0) {
        device.endpoint = this.addEndpoint(device.bind || this.defaultBind, { device }, device.broadcastAddress);
        return;
      }
      const mac = macBytes(device.mac, i, `devices[${i}]`);
      if (!routes.has(device.network)) routes.set(device.network, new Map());
      const network = routes.get(device.network);
      if (network.has(macKey(mac))) throw new ConfigError(`devices[${i}].mac: taken on network ${device.network}`);
      network.set(macKey(mac), device);
      device.route = { snet: device.network, sadr: mac };
    });
    if (routes.size > 0) {
      const router = this.config.router || {};
      const endpoint = this.addEndpoint(router.bind || this.defaultBind, { routes }, router.broadcast);
      this.devices.filter((d) => d.network !== 0).forEach((d) => (d.endpoint = endpoint));
    }
    if (this.config.bbmd) {
      this.bbmdEndpoint = this.addEndpoint(this.config.bbmd.bind || this.defaultBind, { bbmd: true });
    }
    await Promise.all(this.endpoints.map((e) => e.open()));
    this.announce();
    this.timer = setInterval(() => this.tick(), this.tickMs);
  }

  addEndpoint(bind, role, broadcastAddress) {
    const endpoint = new Endpoint(this, bind, role, broadcastAddress);
    this.endpoints.push(endpoint);
    return endpoint;
  }

  /** Where everything listens, then "ready". */
  announce() {
    for (const d of this.devices) {
      const routed = d.network === 0 ? '' : ` network ${d.network} mac ${macKey(d.route.sadr)}`;
      this.say(`device ${d.instance} ${d.endpoint.address}${routed}`);
    }
    for (const e of this.endpoints) {
      if (e.routes) this.say(`router ${e.address} networks ${[...e.routes.keys()].join(',')}`);
      if (e.bbmd) this.say(`bbmd ${e.address}`);
    }
    this.say('ready');
  }

  tick() {
    const now = Date.now();
    this.devices.forEach((d) => d.tick(now, this.startMs));
  }

  /** A broadcast that reached the LAN: every endpoint's devices hear it, and foreign devices get it forwarded. */
  broadcastReceived(msg, parsed, ctx) {
    this.lanBroadcast(msg, parsed, ctx);
    this.forwardToForeignDevices(msg.subarray(parsed.offset), ctx.address);
  }

  lanBroadcast(msg, parsed, ctx) {
    this.endpoints.forEach((e) => e.deliver(msg, parsed, ctx));
  }

  forwardToForeignDevices(npdu, originatingAddress) {
    if (this.bbmdEndpoint) {
      this.bbmdEndpoint.bbmd.forward(npdu, originatingAddress, originatingAddress);
    }
  }

  /** Carries out one command line; returns the reply line ("ok ..." or "error ..."). */
  command(line) {
    const words = line.trim().split(/\s+/);
    const verb = words.shift();
    if (!verb) return undefined;
    try {
      const reply = this.run(verb, words);
      return reply === undefined ? 'ok' : `ok ${reply}`;
    } catch (e) {
      return `error ${e.message}`;
    }
  }

  run(verb, args) {
    const device = () => {
      const d = this.deviceByInstance(Number(args[0]));
      if (!d) throw new Error(`no device ${args[0]}`);
      return d;
    };
    const want = (n, usage) => {
      if (args.length !== n) throw new Error(`usage: ${verb} ${usage}`);
    };
    switch (verb) {
      case 'set': {
        want(4, '<device> <object> present-value|out-of-service <value>');
        const object = device().findObject(args[1]);
        if (args[2] === 'out-of-service') {
          object.outOfService = args[3] === 'true';
          object.onChange(object);
        } else if (args[2] === 'present-value' && object.setValue) {
          object.setValue(/^-?[\d.]+$/.test(args[3]) ? Number(args[3]) : args[3]);
        } else {
          throw new Error(`cannot set ${args[2]} of ${args[1]}`);
        }
        return undefined;
      }
      case 'silent':
        want(2, '<device> on|off');
        device().silent = args[1] === 'on';
        return undefined;
      case 'delay':
        want(2, '<device> <milliseconds>');
        device().delayMs = Number(args[1]);
        return undefined;
      case 'drop': {
        want(2, '<device>|* <rate 0..1>');
        const rate = Number(args[1]);
        if (!(rate >= 0 && rate <= 1)) throw new Error('rate: 0 to 1');
        (args[0] === '*' ? this.devices : [device()]).forEach((d) => (d.dropRate = rate));
        return undefined;
      }
      case 'append': {
        want(3, '<device> <trend-log> <records>');
        const log = device().findObject(args[1]);
        if (!(log instanceof TrendLog)) throw new Error(`${args[1]} is not a trend log`);
        log.series.count += Number(args[2]);
        return String(log.series.total(Date.now()));
      }
      case 'subscriptions':
        want(1, '<device>');
        return String(device().subscriptions.length);
      case 'requests':
        want(1, '<device>');
        return String(device().requests);
      default:
        throw new Error(`unknown command ${verb}`);
    }
  }

  close() {
    clearInterval(this.timer);
    this.devices.forEach((d) => d.closeAll());
    this.endpoints.forEach((e) => e.close());
  }
}

module.exports = { Site, ConfigError };
