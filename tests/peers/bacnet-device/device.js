#!/usr/bin/env node
'use strict';
// BACnet/IP device simulator for interoperability tests.
//
//   node device.js <site.json>
//
// Prints where each device listens and then "ready"; reads commands from standard input, one a line, and
// answers each with one "ok ..." or "error ..." line; prints "event ..." lines as devices are written,
// subscribed and notify. Ends on SIGTERM, SIGINT or the end of its input. README.md describes the site file
// and the commands.

const fs = require('fs');
const readline = require('readline');
const { Site } = require('./lib/site');

const print = (line) => process.stdout.write(`${line}\n`);

async function main() {
  const args = process.argv.slice(2);
  let site;
  try {
    if (args.length !== 1) throw new Error('usage: device.js <site.json>');
    site = new Site(JSON.parse(fs.readFileSync(args[0], 'utf8')), print);
    await site.start();
  } catch (e) {
    process.stderr.write(`error ${e.message}\n`);
    process.exit(2);
  }
  const stop = () => {
    site.close();
    process.exit(0);
  };
  process.on('SIGTERM', stop);
  process.on('SIGINT', stop);
  const input = readline.createInterface({ input: process.stdin });
  input.on('line', (line) => {
    const reply = site.command(line);
    if (reply !== undefined) print(reply);
  });
  input.on('close', stop);
}

main();
