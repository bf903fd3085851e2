// Opens the dashboard, plays a line of four stations into it and saves the
// page as it looks: boards under way, waiting, done and failed, a station lost.
//   node screenshot.mjs OUTPUT.png   (environment as for the dashboard's tests)
import { startBroker } from './broker.mjs';
import { dashboardUrl, launchBrowser } from './browser.mjs';
import { PlayedStation } from './stations.mjs';

const output = process.argv[2];
const prefix = 'plant/line-1';
const broker = await startBroker();
const { browser, close } = await launchBrowser();
try {
  const [north, south, east, west] = await Promise.all(['north', 'south', 'east', 'west'].map(
    (name) => PlayedStation.connect(broker.tcpUrl, prefix, `station-${name}`)));
  const page = await browser.newPage();
  await page.setViewport({ width: 1600, height: 900 });
  await page.goto(dashboardUrl(process.env.FWU_DASHBOARD, broker.wsUrl, prefix));
  await page.waitForFunction(() => document.body.dataset.connection === 'connected', { timeout: 15000 });
  for (const station of [north, south, east, west]) await station.online('sensor-board-2.7.0.bin', 'a41f09c7e2d5'.repeat(5) + 'ab12');
  for (let i = 0; i < 9; ++i) await north.result(`/dev/ttyUSB${i % 4}`, 0, 'The firmware was written');
  await north.result('/dev/ttyUSB2', 3, 'No response from the device', 'no answer to the header within 2 s');
  for (let i = 0; i < 6; ++i) await south.result(`/dev/ttyACM${i % 2}`, 0, 'The firmware was written');
  await west.result('/dev/ttyUSB0', 0, 'The firmware was written');
  await north.port('/dev/ttyUSB0', 'running', { percent: 72 });
  await north.port('/dev/ttyUSB1', 'running', { percent: 35 });
  await north.port('/dev/ttyUSB2', 'result', { outcome: 3, reason: 'no answer to the header within 2 s' });
  await north.port('/dev/ttyUSB3', 'waiting');
  await south.port('/dev/ttyACM0', 'running', { percent: 91 });
  await south.port('/dev/ttyACM1', 'result', { percent: 100, outcome: 0 });
  await east.port('/dev/ttyUSB0', 'running', { percent: 8 });
  await east.port('/dev/ttyUSB1', 'appeared');
  await west.port('/dev/ttyUSB0', 'running', { percent: 50 });
  west.kill();

  await page.waitForFunction(() => document.querySelectorAll('.port').length >= 8
    && document.querySelector('.station[data-station="station-west"].offline'), { timeout: 15000 });
  await page.screenshot({ path: output });
  for (const station of [north, south, east]) await station.end();
} finally {
  await close();
  broker.stop();
}
