// What the page knows of the line: its stations, their ports under way and
// the last results, built from the broker's messages alone. Pure logic: no
// DOM, no clock of its own (every call is given the time it happens at).
//
// Which parts changed since the view last drew them is kept in `changed`
// (station keys) and `resultsChanged`; the view clears both. A station's
// `revision` moves with all of it but its ports.
import { parseTopic } from './topics.js';

export const kLastResults = 12;
// Ids of results seen, to drop one delivered again; a second delivery comes
// soon after the first (a station's reconnection), so the newest suffice and
// a screen that runs for months does not grow.
const kRememberedResults = 100000;
const kHour = 3600 * 1000;

export class Line {
  constructor(prefix) {
    this.prefix = prefix;
    this.stations = new Map();  // station key -> Station
    this.results = [];          // newest first, at most kLastResults
    this.seenResults = new Set();
    this.changed = new Set();
    this.resultsChanged = false;
  }

  // Takes one message; `payload` is its text, `now` the time it arrived (ms).
  apply(topic, payload, now) {
    const where = parseTopic(this.prefix, topic);
    if (!where) return;
    const station = this.station(where.station);
    if (where.kind === 'port') {
      applyPort(station, where, payload, now);
    } else {
      const message = parsedObject(payload);
      if (!message) return;
      if (where.kind === 'status') applyStatus(station, message, now);
      else if (!this.addResult(station, message, now)) return;
    }
    this.changed.add(station.key);
  }

  // Before the broker sends its retained states again (on every connect):
  // stations and ports are known anew from them; results are kept.
  forgetLiveStates() {
    for (const station of this.stations.values()) {
      station.state = 'unknown';
      ++station.revision;
      station.ports.clear();
      this.changed.add(station.key);
    }
  }

  station(key) {
    let station = this.stations.get(key);
    if (!station) {
      station = {
        key, revision: 0, name: key, state: 'unknown', since: null, stateSince: null, lost: false,
        file: '', sha256: '', version: '', tally: { updated: 0, failed: 0 }, ports: new Map(), outcomes: [],
      };
      this.stations.set(key, station);
    }
    return station;
  }

  // False for a result already seen (a station may deliver one twice).
  addResult(station, message, now) {
    if (message.id !== undefined) {
      const key = `${station.key}\n${message.id}`;
      if (this.seenResults.has(key)) return false;
      this.seenResults.add(key);
      if (this.seenResults.size > kRememberedResults) {
        this.seenResults.delete(this.seenResults.values().next().value);
      }
    }
    const result = {
      station: text(message.station) || station.name,
      port: text(message.port),
      ok: message.outcome === 0,
      outcomeText: text(message.outcome_text),
      reason: text(message.reason),
      seconds: typeof message.seconds === 'number' ? message.seconds : null,
      at: timeOf(message.ended_at, now),
    };
    const kept = Math.min(startOfDay(now), now - kHour);
    ++station.revision;
    if (result.at >= kept) station.outcomes.push({ at: result.at, ok: result.ok });
    forgetOutcomesBefore(station, kept);
    this.results.unshift(result);
    this.results.length = Math.min(this.results.length, kLastResults);
    this.resultsChanged = true;
    return true;
  }
}

function applyStatus(station, message, now) {
  ++station.revision;
  if (message.station) station.name = text(message.station);
  station.state = message.state === 'online' ? 'online' : 'offline';
  station.lost = station.state === 'offline' && message.lost === true;
  // `since` is when the station's run began; an offline status carries that
  // too (or nothing, from a last will), so it went offline when it came.
  station.since = timeOf(message.since, station.since ?? now);
  station.stateSince = station.state === 'online' ? station.since : now;
  for (const field of ['file', 'sha256', 'version']) {
    if (message[field] !== undefined) station[field] = text(message[field]);
  }
  if (message.tally) {
    station.tally = { updated: count(message.tally.updated), failed: count(message.tally.failed) };
  }
  // Ports a run before this one left retained are no longer under way.
  if (station.state === 'online') {
    for (const [key, port] of station.ports) {
      if (port.time < station.since) station.ports.delete(key);
    }
  }
}

function applyPort(station, where, payload, now) {
  if (payload.length === 0) {  // the port went
    station.ports.delete(where.port);
    return;
  }
  const message = parsedObject(payload);
  if (!message) return;
  const time = timeOf(message.time, now);
  if (station.since !== null && station.state === 'online' && time < station.since) return;
  station.ports.set(where.port, {
    name: text(message.port) || where.portName,
    state: text(message.state),
    percent: Math.max(0, Math.min(100, Number(message.percent) || 0)),
    ok: message.outcome === 0,
    message: text(message.message),
    reason: text(message.reason),
    time,
    timeText: text(message.time),
  });
}

// Updated and failed today (the page's local day) and the yield of the last
// hour, as far as the page has seen; a station's own tally of a run that
// started today counts too, for a page opened after the run began.
export function stationFigures(station, now) {
  const today = startOfDay(now);
  let updated = 0, failed = 0, hourOk = 0, hourAll = 0;
  for (const { at, ok } of station.outcomes) {
    if (at >= today) ok ? ++updated : ++failed;
    if (at >= now - kHour && at <= now + kHour) {
      ++hourAll;
      if (ok) ++hourOk;
    }
  }
  if (station.since !== null && station.since >= today) {
    updated = Math.max(updated, station.tally.updated);
    failed = Math.max(failed, station.tally.failed);
  }
  return { updated, failed, hourYield: hourAll ? hourOk / hourAll : null, hourCount: hourAll };
}

function forgetOutcomesBefore(station, time) {
  if (station.outcomes.length > 0 && station.outcomes[0].at < time) {
    station.outcomes = station.outcomes.filter(({ at }) => at >= time);
  }
}

function startOfDay(now) {
  const day = new Date(now);
  day.setHours(0, 0, 0, 0);
  return day.getTime();
}

function timeOf(iso, fallback) {
  const time = typeof iso === 'string' ? Date.parse(iso) : NaN;
  return Number.isNaN(time) ? fallback : time;
}

function parsedObject(payload) {
  try {
    const value = JSON.parse(payload);
    return value && typeof value === 'object' && !Array.isArray(value) ? value : null;
  } catch {
    return null;
  }
}

function text(value) {
  return value === undefined || value === null ? '' : String(value);
}

function count(value) {
  return Number.isFinite(value) && value > 0 ? Math.floor(value) : 0;
}
