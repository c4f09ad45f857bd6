'use strict';
// Sends one segmented Complex-ACK: the first segment alone, then windows of the size that the requester's
// Segment-ACKs grant, each window resent when its acknowledgement does not come in time. The requester may
// abort at any time.

const { bac } = require('./codec');

const SEGMENTED = bac.PduType.COMPLEX_ACK | bac.PduConReqBit.SEGMENTED_MESSAGE;

class SegmentedReply {
  /**
   * The reply to the request of `header` ({ invokeId, service }). `send(apduBytes)` puts one APDU on the wire;
   * `done()` is called once when the transaction ends (acknowledged, aborted or given up).
   */
  constructor({ invokeId, service }, payload, segmentSize, { proposedWindow, timeoutMs, retries, send, done }) {
    Object.assign(this, { invokeId, service, proposedWindow, timeoutMs, retries, send, done });
    this.segments = [];
    for (let at = 0; at < payload.length; at += segmentSize) this.segments.push(payload.subarray(at, at + segmentSize));
    this.retriesLeft = retries;
    this.next = 0;
    this.window = 1;
  }

  start() {
    this.sendWindow();
  }

  sendWindow() {
    const end = Math.min(this.next + this.window, this.segments.length);
    for (let n = this.next; n < end; n++) {
      const more = n < this.segments.length - 1 ? bac.PduConReqBit.MORE_FOLLOWS : 0;
      const header = Buffer.from([SEGMENTED | more, this.invokeId, n & 0xff, this.proposedWindow, this.service]);
      this.send(Buffer.concat([header, this.segments[n]]));
    }
    this.sentUpTo = end - 1;
    clearTimeout(this.timer);
    this.timer = setTimeout(() => this.timeout(), this.timeoutMs);
  }

  /** A Segment-ACK from the requester: `sequence` is the last segment it holds in order. */
  acknowledged(sequence, actualWindow, negative) {
    // The segment number that the 8-bit sequence number stands for within the window just sent.
    let held = this.next - 1;
    while (held <= this.sentUpTo && (held & 0xff) !== sequence) held++;
    if (held > this.sentUpTo) return;
    this.retriesLeft = this.retries;
    if (held >= this.segments.length - 1) {
      this.finish();
    } else if (negative || held >= this.sentUpTo) {
      // An acknowledgement from inside the window leaves the rest of the window on its way.
      this.next = held + 1;
      this.window = Math.min(Math.max(actualWindow, 1), 127);
      this.sendWindow();
    }
  }

  timeout() {
    if (this.retriesLeft-- <= 0) {
      this.finish();
    } else {
      this.sendWindow();
    }
  }

  finish() {
    clearTimeout(this.timer);
    this.done();
  }
}

module.exports = { SegmentedReply };
