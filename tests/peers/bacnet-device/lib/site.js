'use strict';
// A simulated site over BACnet/IP: the devices of a site file, their sockets, the router to the devices on
// remote networks, the periodic tick, and the line commands by which a test steers the site while it runs.

const { Device } = require('./device');
const { Endpoint, macKey } = require('./network');
const { ConfigError } = require('./objects');

function macBytes(mac, position, where) {
  if (mac === undefined) return [position + 1];
  const ip = /^(\d+)\.(\d+)\.(\d+)\.(\d+):(\d+)$/.exec(String(mac));
  if (ip) return [...ip.slice(1, 5).map(Number), Number(ip[5]) >> 8, Number(ip[5]) & 0xff];
  if (!/^([0-9a-fA-F]{2})+$/.test(String(mac))) throw new ConfigError(`${where}.mac: hex octets ("0a") or "a.b.c.d:port" required`);
  return [...Buffer.from(String(mac), 'hex')];
}

// The line commands: their arguments, and what they do to the device named first (or to the site).
const COMMANDS = {
  set: {
    usage: '<device> <object> present-value <value>',
    run: ([, id, property, given], device) => {
      const object = device().findObject(id);
      if (property !== 'present-value' || !object.setValue) throw new Error(`cannot set ${property} of ${id}`);
      object.setValue(/^-?[\d.]+$/.test(given) ? Number(given) : given);
    },
  },
  silent: { usage: '<device> on|off', run: ([, on], device) => void (device().silent = on === 'on') },
  drop: {
    usage: '<device>|* <0..1>',
    run: ([which, given], device, site) => {
      const rate = Number(given);
      if (!(rate >= 0 && rate <= 1)) throw new Error('rate: 0 to 1');
      (which === '*' ? site.devices : [device()]).forEach((d) => (d.dropRate = rate));
    },
  },
  subscriptions: { usage: '<device>', run: (args, device) => String(device().subscriptions.length) },
  requests: { usage: '<device>', run: (args, device) => String(device().requests) },
};

class Site {
  /** `out(line)` prints a line for the test. */
  constructor(config, out) {
    Object.assign(this, { config, out, defaultBind: config.bind || '127.0.0.1', endpoints: [] });
    if (!Array.isArray(config.devices) || config.devices.length === 0) throw new ConfigError('devices: a list of at least one device required');
    this.devices = config.devices.map((c, i) => new Device(this, c, `devices[${i}]`));
    this.devices.forEach((d, i) => {
      if (this.devices.findIndex((other) => other.instance === d.instance) !== i) throw new ConfigError(`devices: instance ${d.instance} exists twice`);
    });
    this.startMs = Date.now();
    for (const device of this.devices) {
      for (const object of device.objects.values()) {
        if (object.resolve) object.resolve(this, device, this.startMs);
      }
    }
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

  /** Opens every socket, prints where everything listens and then "ready", and starts the tick. */
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
    const router = this.config.router || {};
    const routerEndpoint = routes.size > 0 ? this.addEndpoint(router.bind || this.defaultBind, { routes }, router.broadcast) : undefined;
    this.devices.filter((d) => d.network !== 0).forEach((d) => (d.endpoint = routerEndpoint));
    await Promise.all(this.endpoints.map((e) => e.open()));
    for (const d of this.devices) {
      this.say(`device ${d.instance} ${d.endpoint.address}${d.network === 0 ? '' : ` network ${d.network} mac ${macKey(d.route.sadr)}`}`);
    }
    if (routerEndpoint) this.say(`router ${routerEndpoint.address} networks ${[...routes.keys()].join(',')}`);
    this.say('ready');
    this.timer = setInterval(() => this.devices.forEach((d) => d.tick(Date.now(), this.startMs)), this.config.tickMs || 500);
  }

  addEndpoint(bind, role, broadcastAddress) {
    const endpoint = new Endpoint(this, bind, role, broadcastAddress);
    this.endpoints.push(endpoint);
    return endpoint;
  }

  /** A broadcast that reached the LAN: every endpoint's devices hear it. */
  broadcastReceived(msg, parsed, ctx) {
    this.endpoints.forEach((e) => e.deliver(msg, parsed, ctx));
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

module.exports = { Site };
