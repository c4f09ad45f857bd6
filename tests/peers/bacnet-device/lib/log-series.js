'use strict';
// The records of a simulated trend log, computed when they are read and never stored. Record n
// (sequence number n, from 1) was logged at start + (n - 1) * interval; its value follows the shape.
// The same rules as the in-process simulated site, so that one site file gives the same records
// on both networks. Times are whole hundredths of a second, the resolution of a BACnet time.

const SHAPES = ['sine', 'ramp', 'square', 'constant'];

function number(log, name, fallback, min, max, where) {
  const v = log[name] === undefined ? fallback : log[name];
  if (typeof v !== 'number' || !(v >= min && v <= max)) throw new Error(`${where}.${name}: out of range ${min} to ${max}`);
  return v;
}

const toHundredths = (ms) => Math.floor(ms / 10) * 10;

class LogSeries {
  /** `kind` is the datum kind of the logged property ('real', 'enumerated', 'unsigned'). */
  constructor(log, where, kind, loadTimeMs) {
    const real = kind === 'real';
    const binary = kind === 'enumerated';
    const intervalSeconds = number(log, 'intervalSeconds', 60, 0.01, 1e8, where);
    this.intervalMs = Math.max(toHundredths(Math.round(intervalSeconds * 1000)), 10);
    this.count = number(log, 'count', 100, 0, 1e9, where);
    this.live = log.live === true;
    if (log.start !== undefined) {
      const start = Date.parse(log.start);
      if (Number.isNaN(start)) throw new Error(`${where}.start: not a date and time: ${JSON.stringify(log.start)}`);
      this.startMs = toHundredths(start);
    } else {
      const ago = number(log, 'startSecondsAgo', this.count * intervalSeconds, 0, 1e10, where);
      this.startMs = toHundredths(loadTimeMs - Math.round(ago * 1000));
    }
    this.bufferSize = number(log, 'bufferSize', Math.max(this.count, 1000), 1, 4294967295, where);
    this.shape = log.shape === undefined ? (real ? 'sine' : binary ? 'square' : 'ramp') : log.shape;
    if (!SHAPES.includes(this.shape)) throw new Error(`${where}.shape: unknown shape ${JSON.stringify(this.shape)} (${SHAPES.join(', ')})`);
    this.offset = number(log, 'offset', real ? 20 : binary ? 0 : 1, -1e9, 1e9, where);
    this.amplitude = number(log, 'amplitude', real ? 5 : 1, -1e9, 1e9, where);
    this.periodRecords = Math.max(number(log, 'periodRecords', real ? 96 : binary ? 10 : 3, 1, 1e9, where), 1);
  }

  /** Records logged so far (the total record count). */
  total(nowMs) {
    return this.live ? Math.max(this.lastBefore(nowMs + 1), this.count) : this.count;
  }

  /** The oldest record held; above `total()` when the buffer is empty. */
  firstHeld(nowMs) {
    const last = this.total(nowMs);
    return last <= this.bufferSize ? 1 : last - this.bufferSize + 1;
  }

  held(nowMs) {
    return this.total(nowMs) - this.firstHeld(nowMs) + 1;
  }

  timeOf(n) {
    return this.startMs + (n - 1) * this.intervalMs;
  }

  valueOf(n) {
    const period = this.periodRecords;
    const phase = (n - 1) % period;
    const shapes = {
      sine: () => this.amplitude * Math.sin((2 * Math.PI * phase) / period),
      ramp: () => this.amplitude * phase,
      square: () => (phase < Math.floor((period + 1) / 2) ? this.amplitude : 0),
      constant: () => 0,
    };
    return this.offset + shapes[this.shape]();
  }

  /** The first sequence number logged after `timeMs` (1 when all are). */
  firstAfter(timeMs) {
    return timeMs < this.startMs ? 1 : Math.floor((timeMs - this.startMs) / this.intervalMs) + 2;
  }

  /** The last sequence number logged before `timeMs` (0 when none is). */
  lastBefore(timeMs) {
    return timeMs <= this.startMs ? 0 : Math.floor((timeMs - this.startMs - 1) / this.intervalMs) + 1;
  }
}

module.exports = { LogSeries };
