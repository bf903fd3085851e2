// How far the dashboard's picture trails a big line: STATIONS played stations
// of PORTS ports each, every port publishing RATE live states a second (a
// board's bar from 0 to 100 %, then its result), through a Mosquitto on
// loopback into the page in Debian's headless Chromium. In the page, the
// moment each port row takes a newer state is noted; a message's lag is the
// time from its sending until its port shows it or a later state; the page's
// own part of it, from the message's arrival at a plain subscriber beside the
// page (delivery.mjs) until the page shows it.
// The default rate is fwupload's: a port's state at most every 250 ms.
// --favoured runs Chromium at a higher priority (nice -10) than the rest of a
// shared, loaded machine: a model of a screen's PC that has its processor for
// the page (root only).
//   node lag.mjs [--stations 20] [--ports 8] [--rate 4] [--seconds 20] [--favoured]
// (FWU_DASHBOARD and FWU_DASHBOARD_MODULES as for the dashboard's tests)
import { fork } from 'node:child_process';
import { readdirSync, readFileSync } from 'node:fs';
import os from 'node:os';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';
import { startBroker } from '../../dashboard/broker.mjs';
import { dashboardUrl, launchBrowser } from '../../dashboard/browser.mjs';
import { PlayedStation, portTopicName } from '../../dashboard/stations.mjs';

const { values: options } = parseArgs({
  options: {
    stations: { type: 'string', default: '20' }, ports: { type: 'string', default: '8' },
    rate: { type: 'string', default: '4' }, seconds: { type: 'string', default: '20' },
    favoured: { type: 'boolean', default: false },
  },
});
const stationCount = Number(options.stations), portCount = Number(options.ports);
const rate = Number(options.rate), seconds = Number(options.seconds);
const prefix = 'bench';
const kStep = 3;  // percent a message

const broker = await startBroker();
const { browser, close } = await launchBrowser();
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1920, height: 1080 });
  await page.goto(dashboardUrl(process.env.FWU_DASHBOARD, broker.wsUrl, prefix));
  await page.waitForFunction(() => document.body.dataset.connection === 'connected', { timeout: 15000 });
  await page.evaluate(() => {
    window.shown = [];
    new MutationObserver((changes) => {
      const at = Date.now();
      for (const { target } of changes) {
        const station = target.closest('.station')?.dataset.station;
        window.shown.push([at, `${station}/${target.dataset.port}`, Date.parse(target.dataset.time)]);
      }
    }).observe(document.getElementById('stations'), { subtree: true, attributes: true, attributeFilter: ['data-time'] });
  });

  const subscriber = await startSubscriber();
  if (options.favoured) {
    for (const pid of family(browser.process().pid)) os.setPriority(pid, -10);
  }
  const cpuBefore = processorSeconds(browser.process().pid);
  const sent = await playLine(page);
  const cpu = processorSeconds(browser.process().pid) - cpuBefore;
  await new Promise((resolve) => setTimeout(resolve, 2000));  // the last states arrive
  const shown = await page.evaluate(() => window.shown);
  const metrics = await page.metrics();
  report(sent, shown, metrics, await subscriber.arrivals());
  console.log(`Chromium's processor time (all its processes): ${(cpu / seconds).toFixed(2)} s a second of the line`);
} finally {
  await close();
  broker.stop();
}

// User and system time of a process and all its descendants (Linux /proc).
function processorSeconds(root) {
  return processes(root).reduce((sum, { ticks }) => sum + ticks, 0) / 100;
}

function family(root) {
  return processes(root).map(({ pid }) => pid);
}

// A process and its descendants: their ids and processor ticks.
function processes(root) {
  const stats = [];
  for (const name of readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const fields = readFileSync(`/proc/${name}/stat`, 'utf8').replace(/^.*\) /, '').split(' ');
      stats.push({ pid: Number(name), parent: Number(fields[1]), ticks: Number(fields[11]) + Number(fields[12]) });
    } catch {
      // it ended meanwhile
    }
  }
  const family = new Set([root]);
  for (let grown = true; grown;) {
    grown = false;
    for (const { pid, parent } of stats) {
      if (family.has(parent) && !family.has(pid)) grown = family.add(pid);
    }
  }
  return stats.filter(({ pid }) => family.has(pid));
}

// The broker's subscriber in a process of its own (delivery.mjs).
async function startSubscriber() {
  const script = fileURLToPath(new URL('../../dashboard/delivery.mjs', import.meta.url));
  const child = fork(script, [broker.tcpUrl, prefix], { stdio: ['ignore', 'pipe', 'inherit', 'ipc'] });
  let output = '';
  child.stdout.on('data', (data) => { output += data; });
  await new Promise((resolve) => child.once('message', resolve));
  return {
    arrivals: () => new Promise((resolve) => {
      child.once('exit', () => resolve(JSON.parse(output)));
      child.kill('SIGTERM');
    }),
  };
}

// Plays the line for `seconds`; returns each port's sending times.
async function playLine() {
  const stations = [];
  for (let s = 0; s < stationCount; ++s) {
    const station = await PlayedStation.connect(broker.tcpUrl, prefix, `station-${String(s + 1).padStart(2, '0')}`);
    await station.online();
    stations.push(station);
  }
  const sent = new Map();  // "station/port" -> [time sent]
  const publishing = new Set();
  const track = (promise) => {
    publishing.add(promise);
    promise.finally(() => publishing.delete(promise));
  };
  const timers = stations.map((station, s) => {
    const ports = Array.from({ length: portCount }, (_, p) => ({
      name: `/dev/ttyUSB${p}`, percent: (s * 7 + p * 13) % 100, times: [],
    }));
    for (const port of ports) sent.set(`${station.name}/${portTopicName(port.name)}`, port.times);
    return setInterval(() => {
      for (const port of ports) {
        const time = Date.now();
        port.times.push(time);
        if (port.percent >= 100) {
          track(station.port(port.name, 'result', { percent: 100, outcome: 0, time: new Date(time).toISOString() }));
          track(station.result(port.name, 0, 'The firmware was written'));
          port.percent = 0;
        } else {
          track(station.port(port.name, 'running', { percent: port.percent, time: new Date(time).toISOString() }));
          port.percent = Math.min(100, port.percent + kStep);
        }
      }
    }, 1000 / rate);
  });
  await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
  timers.forEach(clearInterval);
  await Promise.all(publishing);
  await Promise.all(stations.map((station) => station.end()));
  return sent;
}

function percentiles(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
  return `median ${at(0.5)}  p95 ${at(0.95)}  p99 ${at(0.99)}  max ${sorted[sorted.length - 1]}`;
}

function report(sent, shown, metrics, arrivals) {
  const arrivedAt = new Map(arrivals.map(([port, time, at]) => [`${port} ${time}`, at]));
  const delivered = arrivals.map(([, time, at]) => at - time);
  const pageParts = [];
  const shownByPort = new Map();
  for (const [at, port, time] of shown) {
    if (!shownByPort.has(port)) shownByPort.set(port, []);
    shownByPort.get(port).push([at, time]);
  }
  const lags = [];
  let never = 0, messages = 0;
  for (const [port, times] of sent) {
    const seen = shownByPort.get(port) ?? [];
    let j = 0;
    for (const time of times) {
      ++messages;
      while (j < seen.length && seen[j][1] < time) ++j;
      if (j < seen.length) {
        lags.push(seen[j][0] - time);
        const arrived = arrivedAt.get(`${port} ${time}`);
        if (arrived !== undefined) pageParts.push(seen[j][0] - arrived);
      } else {
        ++never;
      }
    }
  }
  const over = lags.filter((lag) => lag > 500).length;
  console.log(`line: ${stationCount} stations x ${portCount} ports, ${rate} states/s a port, ${seconds} s`
    + `${options.favoured ? ', Chromium favoured (nice -10)' : ''}`);
  console.log(`messages: ${messages} live states (${Math.round(messages / seconds)}/s) and their results`);
  console.log(`page updates of a port row: ${shown.length}`);
  console.log(`lag until the page shows it (ms): ${percentiles(lags)}`);
  console.log(`lag until a plain subscriber has it (ms): ${percentiles(delivered)}`);
  console.log(`the page's own part (ms): ${percentiles(pageParts)}`);
  console.log(`over 500 ms: ${over} (${(100 * over / messages).toFixed(2)} %), never shown: ${never}`);
  console.log(`page script time: ${metrics.ScriptDuration.toFixed(1)} s, layout ${metrics.LayoutDuration.toFixed(1)} s, `
    + `style ${metrics.RecalcStyleDuration.toFixed(1)} s`);
}
