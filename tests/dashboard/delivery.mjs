// A subscriber of its own process, next to the page: when each of the line's
// live states reaches a plain client of the broker (the publisher's and the
// broker's part of the page's lag). Ended with SIGTERM, it prints one JSON
// line: [port ("STATION/NAME"), the state's time, its arrival] for each.
//   node delivery.mjs BROKER_URL PREFIX
import { requireModule } from './modules.mjs';

const mqtt = requireModule('mqtt');
const [brokerUrl, prefix] = process.argv.slice(2);
const arrivals = [];
const client = mqtt.connect(brokerUrl, { reconnectPeriod: 0 });
client.on('connect', () => client.subscribe(`${prefix}/+/port/+`, () => process.send?.('ready')));
client.on('message', (topic, payload) => {
  const time = payload.length ? Date.parse(JSON.parse(payload).time) : NaN;
  const [station, , port] = topic.slice(prefix.length + 1).split('/');
  if (!Number.isNaN(time)) arrivals.push([`${station}/${port}`, time, Date.now()]);
});
process.on('SIGTERM', () => {
  process.stdout.write(`${JSON.stringify(arrivals)}\n`, () => process.exit(0));
});
