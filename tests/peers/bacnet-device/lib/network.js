'use strict';
// The UDP side: one endpoint per socket. An endpoint carries a device of the local network, or a router
// to the devices of remote networks (reached by network number and MAC). Every endpoint of a process lies on one simulated LAN: a broadcast datagram that reaches any
// of them is heard by all of their local devices.

const dgram = require('dgram');
const codec = require('./codec');

const { bac } = codec;
const F = bac.BvlcResultPurpose;
const NETWORK = bac.NetworkLayerMessageType;
const GLOBAL_NETWORK = 0xffff;
/** Reject-Message-To-Network reason: the router knows no route to the network. */
const REJECT_UNKNOWN_NETWORK = 1;

function splitAddress(text) {
  const [host, port] = String(text).split(':');
  return { host, port: port === undefined ? bac.DEFAULT_BACNET_PORT : Number(port) };
}

const macKey = (adr) => Buffer.from(adr || []).toString('hex');

class Endpoint {
  /** `role`: { device } for a local device, or { routes: Map(network -> Map(mac hex -> device)) } for the router. */
  constructor(site, bind, role, broadcastAddress) {
    this.site = site;
    this.bind = splitAddress(bind);
    if (!String(bind).includes(':')) this.bind.port = 0;
    this.device = role.device;
    this.routes = role.routes;
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

  /** A unicast datagram carrying `apdu`, with the NPDU specifiers of `route`. */
  unicast(route, expectingReply, apdu) {
    return codec.datagram(F.ORIGINAL_UNICAST_NPDU, codec.encodeNpdu(route, { apdu, expectingReply }));
  }

  /** Broadcasts an unconfirmed APDU of `device` on the wire, where a broadcast address is set. */
  broadcast(device, apdu) {
    const route = device.route.snet ? { ...device.route, dnet: GLOBAL_NETWORK } : device.route;
    const target = device.broadcastAddress || this.broadcastAddress;
    if (target) this.send(codec.datagram(F.ORIGINAL_BROADCAST_NPDU, codec.encodeNpdu(route, { apdu })), target);
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
      default:
        // Broadcast distribution and foreign devices are not served.
        if (codec.BVLC_NAK[parsed.func] !== undefined) this.send(codec.bvlcResult(codec.BVLC_NAK[parsed.func]), from);
    }
  }

  /** Hands a datagram's APDU to the devices it is addressed to. */
  deliver(msg, parsed, ctx) {
    const source = parsed.npdu.source;
    const context = { ...ctx, source: source && source.net ? { net: source.net, adr: source.adr || [] } : undefined };
    if (parsed.networkMessage) return;
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

  rejectMessage(ctx, network) {
    const route = ctx.source ? { dnet: ctx.source.net, dadr: ctx.source.adr } : {};
    const body = Buffer.from([REJECT_UNKNOWN_NETWORK, network >> 8, network & 0xff]);
    const npdu = codec.encodeNpdu(route, { message: { type: NETWORK.REJECT_MESSAGE_TO_NETWORK, body } });
    this.send(codec.datagram(F.ORIGINAL_UNICAST_NPDU, npdu), ctx.address);
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
