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

// The line commands: their arguments, and what they do to the device named first (or to the site).
const COMMANDS = {
  set: {
    usage: '<device> <object> present-value|out-of-service <value>',
    run: ([, id, property, given], device) => {
      const object = device().findObject(id);
      if (property === 'out-of-service') {
        object.outOfService = given === 'true';
        object.onChange(object);
      } else if (property === 'present-value' && object.setValue) {
        object.setValue(/^-?[\d.]+$/.test(given) ? Number(given) : given);
      } else {
        throw new Error(`cannot set ${property} of ${id}`);
      }
    },
  },
  silent: { usage: '<device> on|off', run: ([, on], device) => void (device().silent = on === 'on') },
  delay: { usage: '<device> <milliseconds>', run: ([, ms], device) => void (device().delayMs = Number(ms)) },
  drop: {
    usage: '<device>|* <0..1>',
    run: ([which, given], device, site) => {
      const rate = Number(given);
      if (!(rate >= 0 && rate <= 1)) throw new Error('rate: 0 to 1');
      (which === '*' ? site.devices : [device()]).forEach((d) => (d.dropRate = rate));
    },
  },
  append: {
    usage: '<device> <trend-log> <records>',
    run: ([, id, records], device) => {
      const log = device().findObject(id);
      if (!(log instanceof TrendLog)) throw new Error(`${id} is not a trend log`);
      log.series.count += Number(records);
      return String(log.series.total(Date.now()));
    },
  },
  subscriptions: { usage: '<device>', run: (args, device) => String(device().subscriptions.length) },
  requests: { usage: '<device>', run: (args, device) => String(device().requests) },
};

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
    const [verb, ...args] = line.trim().split(/\s+/);
    if (!verb) return undefined;
    try {
      const command = COMMANDS[verb];
      if (!command) throw new Error(`unknown command ${verb}`);
      if (args.length !== command.usage.split(' ').length) throw new Error(`usage: ${verb} ${command.usage}`);
      const device = () => {
        const d = this.deviceByInstance(Number(args[0]));
        if (!d) throw new Error(`no device ${args[0]}`);
        return d;
      };
      const reply = command.run(args, device, this);
      return reply === undefined ? 'ok' : `ok ${reply}`;
    } catch (e) {
      return `error ${e.message}`;
    }
  }

  close() {
    clearInterval(this.timer);
    this.devices.forEach((d) => d.closeAll());
    this.endpoints.forEach((e) => e.close());
  }
}

module.exports = { Site, ConfigError };
