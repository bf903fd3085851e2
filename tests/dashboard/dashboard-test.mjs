// The dashboard in Debian's Chromium, fed by played stations through a real
// Mosquitto: what a line's screen shows, how fast, and that the line's text
// never becomes markup. Screenshots go to FWU_ARTIFACTS.
// One station is a real fwupload on a virtual device.
//   FWU_DASHBOARD=<built page folder> FWU_DASHBOARD_MODULES=<npm packages> \
//   FWU_ARTIFACTS=<folder> FWUPLOAD=<fwupload> FWU_VIRTUAL_DEVICE=<virtual-device> \
//   node --test dashboard-test.mjs
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { startBroker } from './broker.mjs';
import { dashboardUrl, launchBrowser } from './browser.mjs';
import { PlayedStation } from './stations.mjs';

const kWait = { timeout: 15000, polling: 50 };
const prefix = 'plant/line-1';
const hostile = '<img src=x onerror=window.injected=1>';
const artifacts = process.env.FWU_ARTIFACTS ?? 'artifacts';
let broker, browser, page, alpha, beta;

before(async () => {
  mkdirSync(artifacts, { recursive: true });
  broker = await startBroker();
  browser = await launchBrowser();
  alpha = await PlayedStation.connect(broker.tcpUrl, prefix, 'alpha');
  beta = await PlayedStation.connect(broker.tcpUrl, prefix, hostile);
  await alpha.online();
  await beta.online('other.bin', '0123456789abcdef'.repeat(4));
  page = await openDashboard();
});

after(async () => {
  alpha?.kill();
  await browser?.close();
  broker?.stop();
});

async function openDashboard() {
  const opened = await browser.browser.newPage();
  await opened.setViewport({ width: 1600, height: 900 });
  await opened.goto(dashboardUrl(process.env.FWU_DASHBOARD, broker.wsUrl, prefix));
  await opened.waitForFunction(() => document.body.dataset.connection === 'connected', kWait);
  return opened;
}

// The text of a station's tile part, or of a port's row part (null: none shown).
function shown(station, selector, port) {
  return page.evaluate((station, selector, port) => {
    const tile = [...document.querySelectorAll('.station')].find((t) => t.dataset.station === station);
    const row = port === undefined ? tile : [...(tile?.querySelectorAll('.port') ?? [])].find((r) => r.dataset.port === port);
    const element = row?.querySelector(selector);
    return element && element.checkVisibility() ? element.textContent : null;
  }, station, selector, port);
}

function waitUntilShown(station, selector, expected, port) {
  return page.waitForFunction((station, selector, expected, port) => {
    const tile = [...document.querySelectorAll('.station')].find((t) => t.dataset.station === station);
    const row = port === undefined ? tile : [...(tile?.querySelectorAll('.port') ?? [])].find((r) => r.dataset.port === port);
    return row?.querySelector(selector)?.textContent === expected;
  }, kWait, station, selector, expected, port);
}

function screenshot(name) {
  return page.screenshot({ path: path.join(artifacts, `dashboard-${name}.png`) });
}

test('two stations: their files, a moving bar, waiting for the device, a port that went', async () => {
  await waitUntilShown('alpha', '.state', 'ONLINE');
  assert.equal(await shown('alpha', '.file'), 'board-1.4.2.bin');
  assert.equal(await shown('alpha', '.sha'), 'c0ffee00dead…');
  await waitUntilShown(hostile, '.file', 'other.bin');

  const port = '%2Fdev%2FttyUSB0';  // "/dev/ttyUSB0" as its topic level
  await alpha.port('/dev/ttyUSB0', 'running', { percent: 10 });
  await waitUntilShown('alpha', '.port-state', '10 %', port);
  assert.equal(await shown('alpha', '.port-name', port), '/dev/ttyUSB0');
  const barAt = () => page.$eval(`.port[data-port="${port}"] .fill`, (fill) => fill.getBoundingClientRect().width);
  const before = await barAt();
  await alpha.port('/dev/ttyUSB0', 'running', { percent: 55 });
  await waitUntilShown('alpha', '.port-state', '55 %', port);
  assert.ok(await barAt() > before * 4, 'the bar grew with the percent');

  await alpha.port('ttyACM1', 'waiting');
  await waitUntilShown('alpha', '.port-state', 'waiting for the device', 'ttyACM1');
  await screenshot('running');
  await alpha.portGone('ttyACM1');
  await page.waitForFunction(() => !document.querySelector('.port[data-port="ttyACM1"]'), kWait);
});

test('results: shown within a second, once however often they come, failures with their reason', async () => {
  const firstItem = () => page.$eval('#results-list li', (li) => ({ text: li.textContent, failed: li.classList.contains('failed') }));
  await page.evaluate(() => {
    window.resultShownAt = null;
    new MutationObserver(() => { window.resultShownAt ??= Date.now(); })
      .observe(document.getElementById('results-list'), { childList: true });
  });
  const sentAt = Date.now();
  const record = await alpha.result('/dev/ttyUSB0', 0, 'The firmware was written');
  await page.waitForFunction(() => window.resultShownAt !== null, kWait);
  const lag = await page.evaluate(() => window.resultShownAt) - sentAt;
  assert.ok(lag <= 1000, `the result was shown ${lag} ms after its message`);
  await alpha.publish('result', record, { qos: 1 });  // delivered again
  await waitUntilShown('alpha', '.updated', '✔ 1 updated');
  await waitUntilShown('alpha', '.yield', 'yield, last hour: 100 % of 1');

  await beta.port('ttyUSB3', 'result', { percent: 0, outcome: 3, message: 'No response', reason: 'no answer to the header' });
  await beta.result('ttyUSB3', 3, 'No response from the device', 'no answer to the header');
  await waitUntilShown(hostile, '.failed', '✖ 1 failed');
  const failure = await firstItem();
  assert.ok(failure.failed);
  assert.match(failure.text, /FAILED.*No response from the device \| no answer to the header/);
  assert.equal(await shown(hostile, '.port-state', 'ttyUSB3'), '✖ FAILED no answer to the header');
  assert.equal(await page.$$eval('#results-list li', (items) => items.length), 2, 'the result delivered twice is listed once');
  await screenshot('results');
});

test('names from the line are shown as text, never run as markup', async () => {
  assert.equal(await shown(hostile, '.name'), hostile);
  assert.equal(await page.$$eval('img', (images) => images.length), 0);
  assert.equal(await page.evaluate(() => window.injected), undefined);
});

test('a killed station is shown offline, its ports no longer shown busy; a page opened late sees the present', async () => {
  await beta.port('ttyUSB4', 'running', { percent: 40 });
  await waitUntilShown(hostile, '.port-state', '40 %', 'ttyUSB4');
  beta.kill();
  await waitUntilShown(hostile, '.state', 'OFFLINE · connection lost');
  assert.equal(await shown(hostile, '.port-state', 'ttyUSB4'), null);
  await screenshot('offline');

  page = await openDashboard();
  await waitUntilShown('alpha', '.port-state', '55 %', '%2Fdev%2FttyUSB0');
  await waitUntilShown(hostile, '.state', 'OFFLINE · connection lost');
});

test('a real fwupload station: its file, offline with its tally at its end', async () => {
  const work = mkdtempSync(path.join(os.tmpdir(), 'fwu-dashboard-'));
  const device = spawn(process.env.FWU_VIRTUAL_DEVICE, ['--link', `${work}/port`, '--ready', `${work}/ready`,
    '--body-length', '2984', '--quiet'], { stdio: 'inherit' });
  try {
    writeFileSync(`${work}/firmware.bin`, Buffer.alloc(3000, 0x5a));
    await until(() => existsSync(`${work}/ready`), 'the virtual device is ready');
    const station = spawn(process.env.FWUPLOAD, ['--quiet', '--publish', `${broker.tcpUrl}/${prefix}`,
      '--station', 'bench-7', '--port', `${work}/port`, `${work}/firmware.bin`], { stdio: 'inherit' });
    const status = await new Promise((resolve) => station.once('exit', resolve));
    assert.equal(status, 0);
    await waitUntilShown('bench-7', '.state', 'OFFLINE');
    assert.equal(await shown('bench-7', '.file'), 'firmware.bin');
    await waitUntilShown('bench-7', '.updated', '✔ 1 updated');
  } finally {
    device.kill();
    rmSync(work, { recursive: true, force: true });
  }
});

async function until(condition, what) {
  for (const deadline = Date.now() + 10000; !condition();) {
    assert.ok(Date.now() < deadline, `${what} within 10 s`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

test('a broker that goes away leaves no busy screen', async () => {
  broker.stop();
  await page.waitForFunction(() => document.body.dataset.connection === 'error', kWait);
  assert.equal(await shown('alpha', '.port-state', '%2Fdev%2FttyUSB0'), null);
  await screenshot('disconnected');
});
