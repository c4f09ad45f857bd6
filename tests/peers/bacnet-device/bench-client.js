#!/usr/bin/env node
'use strict';
// Throughput of the library's own client against a device, as a reference for our client:
//
//   node bench-client.js --device <ip:port> [--instance <n>] [--seconds <s>] [--objects <k>]
//                        [--outstanding <n>] [--trend-log <instance>] [--count <records a page>]
//
// ReadPropertyMultiple: requests for present-value, status-flags, object-name and out-of-service
// of the device's first k point objects, with n requests outstanding, for s seconds.
// ReadRange: pages of the trend log's buffer by position, from its start to its last record and
// over again, for s seconds. Prints one line per measurement:
//
//   rpm requests=<n> seconds=<s> requests_per_second=<r>
//   readrange records=<n> pages=<p> seconds=<s> records_per_second=<r>

const Client = require('@bacnet-js/client').default;
const bac = require('@bacnet-js/client');
const { freePort } = require('./lib/network');

const POINT_TYPES = [0, 1, 2, 3, 4, 5, 13, 14, 19];
const RPM_PROPERTIES = [85, 111, 77, 81].map((id) => ({ id, index: bac.ASN1_ARRAY_ALL }));
const LAST_ITEM = 2;

function parseArguments(argv) {
  const options = { instance: 4194303, seconds: 3, objects: 5, outstanding: 1, trendLog: 1, count: 1000 };
  const names = { '--device': 'device', '--instance': 'instance', '--seconds': 'seconds', '--objects': 'objects',
    '--outstanding': 'outstanding', '--trend-log': 'trendLog', '--count': 'count' };
  for (let i = 0; i < argv.length; i += 2) {
    const name = names[argv[i]];
    if (!name || argv[i + 1] === undefined) throw new Error(`unknown or incomplete option ${argv[i]}`);
    options[name] = name === 'device' ? argv[i + 1] : Number(argv[i + 1]);
  }
  if (!options.device) throw new Error('usage: bench-client.js --device <ip:port> [options]');
  return options;
}

async function pointObjects(client, receiver, instance, wanted) {
  const device = { type: bac.ObjectType.DEVICE, instance };
  const list = await client.readProperty(receiver, device, bac.PropertyIdentifier.OBJECT_LIST);
  return list.values
    .map((v) => v.value)
    .filter((id) => POINT_TYPES.includes(id.type))
    .slice(0, wanted);
}

async function benchReadPropertyMultiple(client, receiver, options) {
  const objectIds = await pointObjects(client, receiver, options.instance, options.objects);
  if (objectIds.length === 0) throw new Error('the device has no point objects');
  const request = objectIds.map((objectId) => ({ objectId, properties: RPM_PROPERTIES }));
  const started = process.hrtime.bigint();
  const deadline = started + BigInt(Math.round(options.seconds * 1e9));
  let done = 0;
  const worker = async () => {
    while (process.hrtime.bigint() < deadline) {
      await client.readPropertyMultiple(receiver, request);
      done++;
    }
  };
  await Promise.all(Array.from({ length: options.outstanding }, worker));
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  console.log(`rpm requests=${done} seconds=${seconds.toFixed(3)} requests_per_second=${(done / seconds).toFixed(1)}`);
}

async function benchReadRange(client, receiver, options) {
  const log = { type: bac.ObjectType.TREND_LOG, instance: options.trendLog };
  const started = process.hrtime.bigint();
  const deadline = started + BigInt(Math.round(options.seconds * 1e9));
  let records = 0;
  let pages = 0;
  let position = 1;
  while (process.hrtime.bigint() < deadline) {
    const page = await client.readRange(receiver, log, position, options.count);
    pages++;
    records += page.itemCount;
    const last = page.itemCount === 0 || (page.resultFlag.value[0] & LAST_ITEM) !== 0;
    position = last ? 1 : position + page.itemCount;
  }
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  console.log(
    `readrange records=${records} pages=${pages} seconds=${seconds.toFixed(3)} records_per_second=${(records / seconds).toFixed(1)}`,
  );
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const client = new Client({ port: await freePort(), interface: '127.0.0.1', apduTimeout: 3000 });
  const receiver = { address: options.device };
  try {
    await benchReadPropertyMultiple(client, receiver, options);
    await benchReadRange(client, receiver, options);
  } finally {
    client.close();
  }
}

main().catch((e) => {
  process.stderr.write(`error ${e.message}\n`);
  process.exit(1);
});
