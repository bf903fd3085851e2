// A subscriber of its own process, next to the page: how late the line's live
// states reach any client of the broker (the publisher's and the broker's part
// of the page's lag). Prints its figures as one JSON line when ended (SIGTERM).
//   node delivery.mjs BROKER_URL PREFIX
import { requireModule } from './modules.mjs';

const mqtt = requireModule('mqtt');
const [brokerUrl, prefix] = process.argv.slice(2);
const lags = [];
const client = mqtt.connect(brokerUrl, { reconnectPeriod: 0 });
client.on('connect', () => client.subscribe(`${prefix}/+/port/+`, () => process.send?.('ready')));
client.on('message', (topic, payload) => {
  const time = payload.length ? Date.parse(JSON.parse(payload).time) : NaN;
  if (!Number.isNaN(time)) lags.push(Date.now() - time);
});
process.on('SIGTERM', () => {
  console.log(JSON.stringify(lags));
  process.exit(0);
});
