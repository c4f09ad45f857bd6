'use strict';
// Sends one segmented Complex-ACK: the first segment alone, then windows of the size that the
// requester's Segment-ACKs grant, each window resent when its acknowledgement does not come in
// time. The requester may abort at any time.

const { bac } = require('./codec');

const COMPLEX_ACK = bac.PduType.COMPLEX_ACK;
const SEGMENTED = bac.PduConReqBit.SEGMENTED_MESSAGE;
const MORE_FOLLOWS = bac.PduConReqBit.MORE_FOLLOWS;

class SegmentedReply {
  /**
   * `send(apduBytes)` puts one APDU on the wire; `done()` is called once when the transaction
   * ends (acknowledged, aborted or given up).
   */
  constructor({ invokeId, service, payload, segmentSize, proposedWindow, timeoutMs, retries, send, done }) {
    this.invokeId = invokeId;
    this.service = service;
    this.segments = [];
    for (let at = 0; at < payload.length; at += segmentSize) {
      this.segments.push(payload.subarray(at, at + segmentSize));
    }
    this.proposedWindow = proposedWindow;
    this.timeoutMs = timeoutMs;
    this.retries = retries;
    this.retriesLeft = retries;
    this.send = send;
    this.done = done;
    this.next = 0;
    this.window = 1;
    this.timer = undefined;
  }

  start() {
    this.sendWindow();
  }

  sendWindow() {
    const end = Math.min(this.next + this.window, this.segments.length);
    for (let n = this.next; n < end; n++) {
      this.send(this.segmentApdu(n));
    }
    this.sentUpTo = end - 1;
    clearTimeout(this.timer);
    this.timer = setTimeout(() => this.timeout(), this.timeoutMs);
  }

  segmentApdu(n) {
    const more = n < this.segments.length - 1 ? MORE_FOLLOWS : 0;
    const header = Buffer.from([COMPLEX_ACK | SEGMENTED | more, this.invokeId, n & 0xff, this.proposedWindow, this.service]);
    return Buffer.concat([header, this.segments[n]]);
  }

  /** A Segment-ACK from the requester: `sequence` is the last segment it holds in order. */
  acknowledged(sequence, actualWindow, negative) {
    const held = this.absolute(sequence);
    if (held === undefined) {
      return;
    }
    this.retriesLeft = this.retries;
    if (held >= this.segments.length - 1) {
      this.finish();
      return;
    }
    if (!negative && held < this.sentUpTo) {
      // An acknowledgement from inside the window: the rest of the window is still on its way.
      return;
    }
    this.next = held + 1;
    this.window = Math.min(Math.max(actualWindow, 1), 127);
    this.sendWindow();
  }

  /** The segment number that an 8-bit sequence number stands for within the window just sent. */
  absolute(sequence) {
    for (let n = this.next - 1; n <= this.sentUpTo; n++) {
      if ((n & 0xff) === sequence) {
        return n;
      }
    }
    return undefined;
  }

  timeout() {
    if (this.retriesLeft-- <= 0) {
      this.finish();
      return;
    }
    this.sendWindow();
  }

  finish() {
    clearTimeout(this.timer);
    this.done();
  }
}

module.exports = { SegmentedReply };
