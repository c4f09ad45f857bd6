'use strict';
// The UDP side: one endpoint per socket. An endpoint carries a device of the local network, or a router
// to the devices of remote networks (reached by network number and MAC), or a BBMD that registers foreign
// devices. Every endpoint of a process lies on one simulated LAN: a broadcast datagram that reaches any
// of them is heard by all of their local devices.

const dgram = require('dgram');
const codec = require('./codec');

const { bac } = codec;
const F = bac.BvlcResultPurpose;
const NETWORK = bac.NetworkLayerMessageType;
const GLOBAL_NETWORK = 0xffff;
/** Reject-Message-To-Network reason: the router knows no route to the network. */
const REJECT_UNKNOWN_NETWORK = 1;
/** Foreign devices stay registered this long past their time-to-live. */
const FDT_GRACE_SECONDS = 30;

function splitAddress(text) {
  const [host, port] = String(text).split(':');
  return { host, port: port === undefined ? bac.DEFAULT_BACNET_PORT : Number(port) };
}

const macKey = (adr) => Buffer.from(adr || []).toString('hex');
const uint16 = (n) => [n >> 8, n & 0xff];

class Endpoint {
  /** `role`: { device } for a local device, { routes: Map(network -> Map(mac hex -> device)) }, or { bbmd: true }. */
  constructor(site, bind, role, broadcastAddress) {
    this.site = site;
    this.bind = splitAddress(bind);
    if (!String(bind).includes(':')) this.bind.port = 0;
    this.device = role.device;
    this.routes = role.routes;
    this.bbmd = role.bbmd ? new Bbmd(this) : undefined;
    this.broadcastAddress = broadcastAddress;
    this.socket = dgram.createSocket({ type: 'udp4' });
    this.socket.on('message', (msg, rinfo) => this.received(msg, `${rinfo.address}:${rinfo.port}`));
    this.socket.on('error', (e) => site.warn(`socket ${this.address}: ${e.message}`));
  }

  open() {
    return new Promise((resolve, reject) => {
      this.socket.once('error', reject);
      this.socket.bind(this.bind.port, this.bind.host, () => {
        this.socket.off('error', reject);
        this.socket.setBroadcast(true);
        const bound = this.socket.address();
        this.address = `${bound.address}:${bound.port}`;
        resolve();
      });
    });
  }

  close() {
    this.socket.close();
  }

  send(datagram, address) {
    const target = splitAddress(address);
    this.socket.send(datagram, target.port, target.host);
  }

  sendNpdu(npdu, address) {
    this.send(codec.datagram(F.ORIGINAL_UNICAST_NPDU, npdu), address);
  }

  /** A unicast datagram carrying `apdu`, with the NPDU specifiers of `route`. */
  unicast(route, expectingReply, apdu) {
    return codec.datagram(F.ORIGINAL_UNICAST_NPDU, codec.encodeNpdu(route, { apdu, expectingReply }));
  }

  /** Broadcasts an unconfirmed APDU of `device`: on the wire where a broadcast address is set, and to foreign devices. */
  broadcast(device, apdu) {
    const route = device.route.snet ? { ...device.route, dnet: GLOBAL_NETWORK } : device.route;
    this.broadcastNpdu(codec.encodeNpdu(route, { apdu }), device.broadcastAddress || this.broadcastAddress);
  }

  broadcastNpdu(npdu, target) {
    if (target) this.send(codec.datagram(F.ORIGINAL_BROADCAST_NPDU, npdu), target);
    this.site.forwardToForeignDevices(npdu, this.address);
  }

  received(msg, from) {
    const parsed = codec.parseDatagram(msg);
    if (!parsed) return;
    switch (parsed.func) {
      case F.ORIGINAL_UNICAST_NPDU:
        this.deliver(msg, parsed, { address: from, broadcast: false });
        break;
      case F.ORIGINAL_BROADCAST_NPDU:
        this.site.broadcastReceived(msg, parsed, { address: from, broadcast: true });
        break;
      case F.FORWARDED_NPDU: {
        const origin = splitAddress(parsed.originatingAddress);
        this.site.broadcastReceived(msg, parsed, { address: `${origin.host}:${origin.port}`, broadcast: true });
        break;
      }
      default:
        if (this.bbmd && (parsed.func === F.REGISTER_FOREIGN_DEVICE || parsed.func === F.DISTRIBUTE_BROADCAST_TO_NETWORK)) {
          this.bbmd.received(msg, parsed, from);
        } else if (codec.BVLC_NAK[parsed.func] !== undefined) {
          this.send(codec.bvlcResult(codec.BVLC_NAK[parsed.func]), from);
        }
    }
  }

  /** Hands a datagram's APDU to the devices it is addressed to. */
  deliver(msg, parsed, ctx) {
    const source = parsed.npdu.source;
    const context = { ...ctx, source: source && source.net ? { net: source.net, adr: source.adr || [] } : undefined };
    if (parsed.networkMessage) {
      if (this.routes) this.networkMessage(msg, parsed, context);
      return;
    }
    const apdu = msg.subarray(parsed.apduOffset);
    const destination = parsed.npdu.destination;
    const toAll = (devices) => devices.forEach((d) => d.receive(apdu, { ...context, broadcast: true }));
    if (!destination) {
      if (this.device) this.device.receive(apdu, context);
    } else if (destination.net === GLOBAL_NETWORK) {
      toAll(this.device ? [this.device] : []);
      toAll(this.routes ? [...this.routes.values()].flatMap((network) => [...network.values()]) : []);
    } else if (this.routes) {
      const network = this.routes.get(destination.net);
      if (!network) {
        if (!context.broadcast) this.rejectMessage(context, destination.net);
      } else if (!destination.adr || destination.adr.length === 0) {
        toAll([...network.values()]);
      } else {
        const device = network.get(macKey(destination.adr));
        if (device) device.receive(apdu, context);
      }
    }
  }

  networkMessage(msg, parsed, ctx) {
    if (msg[parsed.messageOffset] !== NETWORK.WHO_IS_ROUTER_TO_NETWORK) return;
    const asked = msg.length >= parsed.messageOffset + 3 ? msg.readUInt16BE(parsed.messageOffset + 1) : undefined;
    const networks = [...this.routes.keys()].filter((n) => asked === undefined || n === asked);
    if (networks.length === 0) return;
    const body = Buffer.from(networks.flatMap(uint16));
    const npdu = codec.encodeNpdu({}, { message: { type: NETWORK.I_AM_ROUTER_TO_NETWORK, body } });
    if (this.broadcastAddress && ctx.broadcast) {
      this.broadcastNpdu(npdu, this.broadcastAddress);
    } else {
      this.sendNpdu(npdu, ctx.address);
    }
  }

  rejectMessage(ctx, network) {
    const route = ctx.source ? { dnet: ctx.source.net, dadr: ctx.source.adr } : {};
    const body = Buffer.from([REJECT_UNKNOWN_NETWORK, ...uint16(network)]);
    this.sendNpdu(codec.encodeNpdu(route, { message: { type: NETWORK.REJECT_MESSAGE_TO_NETWORK, body } }), ctx.address);
  }
}

/** Registers foreign devices and carries broadcasts between them and the simulated LAN. */
class Bbmd {
  constructor(endpoint) {
    this.endpoint = endpoint;
    this.foreignDevices = new Map();
  }

  received(msg, parsed, from) {
    if (parsed.func === F.REGISTER_FOREIGN_DEVICE) {
      if (msg.length < 6) return;
      const ttl = msg.readUInt16BE(4);
      this.foreignDevices.set(from, Date.now() + (ttl + FDT_GRACE_SECONDS) * 1000);
      this.endpoint.send(codec.bvlcResult(0), from);
      this.endpoint.site.say(`event register ${from} ttl=${ttl}`);
    } else if (!this.isRegistered(from)) {
      this.endpoint.send(codec.bvlcResult(codec.BVLC_NAK[F.DISTRIBUTE_BROADCAST_TO_NETWORK]), from);
    } else {
      this.forward(msg.subarray(parsed.offset), from, from);
      this.endpoint.site.lanBroadcast(msg, parsed, { address: from, broadcast: true });
    }
  }

  isRegistered(address) {
    const expires = this.foreignDevices.get(address);
    return expires !== undefined && expires > Date.now();
  }

  /** Forwarded-NPDU to every registered foreign device except `except`. */
  forward(npdu, originatingAddress, except) {
    const datagram = codec.datagram(F.FORWARDED_NPDU, npdu, originatingAddress);
    for (const address of this.foreignDevices.keys()) {
      if (address !== except && this.isRegistered(address)) this.endpoint.send(datagram, address);
    }
  }
}

/** A free UDP port of the loopback: the library's client cannot bind port 0. */
function freePort() {
  return new Promise((resolve) => {
    const probe = dgram.createSocket('udp4');
    probe.bind(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

module.exports = { Endpoint, macKey, freePort };
