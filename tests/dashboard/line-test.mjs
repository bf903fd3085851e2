// The page's picture of the line where a browser test would need hours or
// restarts: a station's earlier run, and the counts of a page opened late.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { Line, stationFigures } from '../../dashboard/src/Line.js';

const at = (iso) => Date.parse(iso);
const status = (since, tally = { updated: 0, failed: 0 }) => JSON.stringify({ station: 's1', state: 'online', since, tally });
const port = (time, percent = 5) => JSON.stringify({ port: '/dev/ttyUSB0', state: 'running', percent, time });

test('a station started again: the ports its earlier run left retained are not shown as under way', () => {
  const line = new Line('p');
  line.apply('p/s1/status', status('2026-12-09T08:00:00.000Z'), at('2026-12-09T08:00:00Z'));
  line.apply('p/s1/port/%2Fdev%2FttyUSB0', port('2026-12-09T08:10:00.000Z'), at('2026-12-09T08:10:00Z'));
  line.apply('p/s1/status', status('2026-12-09T09:00:00.000Z'), at('2026-12-09T09:00:00Z'));
  assert.equal(line.stations.get('s1').ports.size, 0);
  // A retained state of the earlier run that comes after the new status.
  line.apply('p/s1/port/ttyUSB1', port('2026-12-09T08:20:00.000Z'), at('2026-12-09T09:00:01Z'));
  assert.equal(line.stations.get('s1').ports.size, 0);
  line.apply('p/s1/port/%2Fdev%2FttyUSB0', port('2026-12-09T09:00:02.000Z', 40), at('2026-12-09T09:00:02Z'));
  assert.equal(line.stations.get('s1').ports.get('%2Fdev%2FttyUSB0').name, '/dev/ttyUSB0');
});

test('counts: results seen, at least the tally of a run begun today, the last hour alone in the yield', () => {
  const line = new Line('p');
  const now = new Date(2026, 11, 9, 12, 0, 0).getTime();  // local noon
  const result = (id, outcome, ended) => JSON.stringify({ id, outcome, ended_at: new Date(ended).toISOString() });
  line.apply('p/s1/status', status(new Date(now - 4 * 3600e3).toISOString(), { updated: 7, failed: 1 }), now);
  line.apply('p/s1/result', result(1, 0, now - 2 * 3600e3), now);
  line.apply('p/s1/result', result(2, 3, now - 60e3), now);
  line.apply('p/s1/result', result(3, 0, now - 30e3), now);
  line.apply('p/s1/result', result(3, 0, now - 30e3), now);  // delivered again
  line.apply('p/s1/result', result(4, 0, now - 26 * 3600e3), now);  // yesterday's, published late
  assert.deepEqual(stationFigures(line.stations.get('s1'), now),
    { updated: 7, failed: 1, hourYield: 0.5, hourCount: 2 });
  line.apply('p/s1/status', status(new Date(now - 30 * 3600e3).toISOString(), { updated: 50, failed: 9 }), now);
  assert.deepEqual(stationFigures(line.stations.get('s1'), now),
    { updated: 2, failed: 1, hourYield: 0.5, hourCount: 2 });
});
