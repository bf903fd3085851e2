// Draws the line into the page. Everything the line sends is set as text
// (textContent, dataset, classes from fixed names): never as markup. Each
// tile and row is made once and then only its changed parts are touched, so
// a frame costs what changed since the last one.
import { stationFigures } from './Line.js';

const kPortLabels = {
  appeared: 'starting',
  waiting: 'waiting for the device',
  'left-alone': 'left alone',
};

export class View {
  constructor(document, line) {
    this.document = document;
    this.line = line;
    this.stationsElement = document.getElementById('stations');
    this.resultsElement = document.getElementById('results-list');
    this.tiles = new Map();  // station key -> Tile
  }

  // Draws what changed; `all` redraws every tile (for the times shown in them).
  draw(now, all = false) {
    const keys = all ? this.line.stations.keys() : this.line.changed;
    for (const key of keys) this.drawStation(this.line.stations.get(key), now, all);
    this.line.changed.clear();
    if (this.line.resultsChanged) this.drawResults();
    this.line.resultsChanged = false;
  }

  drawStation(station, now, all) {
    let tile = this.tiles.get(station.key);
    if (!tile) {
      tile = new Tile(this.document, station.key);
      this.tiles.set(station.key, tile);
      this.placeTile(tile, station.name);
    }
    if (all || tile.revision !== station.revision) tile.drawHead(station, now);
    tile.drawPorts(station.ports);
  }

  // Tiles stay in the order of the stations' names.
  placeTile(tile, name) {
    tile.sortName = name;
    const after = [...this.tiles.values()].find((other) => other !== tile && naturalOrder(other.sortName, name) > 0);
    this.stationsElement.insertBefore(tile.element, after ? after.element : null);
  }

  drawResults() {
    const items = this.line.results.map((result) => this.resultItem(result));
    this.resultsElement.replaceChildren(...items);
  }

  resultItem(result) {
    const item = make(this.document, 'li', `result ${result.ok ? 'ok' : 'failed'}`);
    make(this.document, 'span', 'icon', item).textContent = result.ok ? '✔' : '✖';
    make(this.document, 'span', 'word', item).textContent = result.ok ? 'OK' : 'FAILED';
    make(this.document, 'time', 'at', item).textContent = clockTime(result.at);
    make(this.document, 'span', 'where', item).textContent = `${result.station} · ${result.port}`;
    const why = result.ok ? '' : [result.outcomeText, result.reason].filter(Boolean).join(' | ');
    make(this.document, 'span', 'why', item).textContent = why;
    make(this.document, 'span', 'seconds', item).textContent = result.seconds === null ? '' : `${result.seconds.toFixed(1)} s`;
    return item;
  }
}

// One station's tile and the rows of its ports.
class Tile {
  constructor(document, key) {
    this.document = document;
    this.element = make(document, 'article', 'station');
    this.element.dataset.station = key;
    const head = make(document, 'header', '', this.element);
    this.name = make(document, 'h2', 'name', head);
    this.state = make(document, 'span', 'state', head);
    this.since = make(document, 'p', 'since', this.element);
    const firmware = make(document, 'p', 'firmware', this.element);
    this.file = make(document, 'span', 'file', firmware);
    this.sha = make(document, 'code', 'sha', firmware);
    const figures = make(document, 'p', 'figures', this.element);
    this.updated = make(document, 'span', 'updated', figures);
    this.failed = make(document, 'span', 'failed', figures);
    this.yield = make(document, 'span', 'yield', figures);
    this.portList = make(document, 'ul', 'ports', this.element);
    this.rows = new Map();  // port key -> PortRow
    this.revision = -1;
  }

  // All but the ports: what the station's status and results tell.
  drawHead(station, now) {
    this.revision = station.revision;
    setText(this.name, station.name);
    this.element.className = `station ${station.state}`;
    setText(this.state, stateLabel(station));
    const since = station.stateSince;
    setText(this.since, since === null ? '' : `since ${clockTime(since)} · ${duration(now - since)}`);
    setText(this.file, station.file);
    setText(this.sha, station.sha256 ? `${station.sha256.slice(0, 12)}…` : '');
    const figures = stationFigures(station, now);
    setText(this.updated, `✔ ${figures.updated} updated`);
    setText(this.failed, `✖ ${figures.failed} failed`);
    setText(this.yield, figures.hourYield === null ? 'yield, last hour: no result'
      : `yield, last hour: ${Math.round(figures.hourYield * 100)} % of ${figures.hourCount}`);
  }

  drawPorts(ports) {
    for (const [key, row] of this.rows) {
      if (!ports.has(key)) {
        row.element.remove();
        this.rows.delete(key);
      }
    }
    let added = false;
    for (const [key, port] of ports) {
      let row = this.rows.get(key);
      if (!row) {
        row = new PortRow(this.document, key);
        this.rows.set(key, row);
        added = true;
      }
      row.draw(port);
    }
    if (added) {
      const rows = [...this.rows.values()].sort((a, b) => naturalOrder(a.sortName, b.sortName));
      this.portList.replaceChildren(...rows.map((row) => row.element));
    }
  }
}

class PortRow {
  constructor(document, key) {
    this.element = make(document, 'li', 'port');
    this.element.dataset.port = key;
    this.name = make(document, 'span', 'port-name', this.element);
    const bar = make(document, 'span', 'bar', this.element);
    this.fill = make(document, 'span', 'fill', bar);
    this.label = make(document, 'span', 'port-state', this.element);
    this.shown = {};
  }

  draw(port) {
    this.sortName = port.name;
    setText(this.name, port.name);
    const kind = port.state === 'result' ? `result-${port.ok ? 'ok' : 'failed'}` : port.state;
    if (this.shown.kind !== kind) this.element.className = `port state-${this.shown.kind = kind}`;
    if (this.shown.percent !== port.percent) {
      this.fill.style.transform = `scaleX(${(this.shown.percent = port.percent) / 100})`;
    }
    setText(this.label, portLabel(port));
    if (this.element.dataset.time !== port.timeText) this.element.dataset.time = port.timeText;
  }
}

function portLabel(port) {
  if (port.state === 'running') return `${port.percent} %`;
  if (port.state === 'result') {
    return port.ok ? '✔ updated' : `✖ FAILED ${port.reason || port.message}`.trim();
  }
  return kPortLabels[port.state] ?? port.state;
}

function stateLabel(station) {
  if (station.state === 'online') return 'ONLINE';
  if (station.state === 'offline') return station.lost ? 'OFFLINE · connection lost' : 'OFFLINE';
  return '…';
}

function make(document, tag, className, parent) {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (parent) parent.append(element);
  return element;
}

function setText(element, value) {
  if (element.textContent !== value) element.textContent = value;
}

const collator = new Intl.Collator(undefined, { numeric: true });
function naturalOrder(a, b) {
  return collator.compare(a ?? '', b ?? '');
}

const clock = new Intl.DateTimeFormat(undefined, { hour: '2-digit', minute: '2-digit', second: '2-digit', hour12: false });
function clockTime(time) {
  return clock.format(time);
}

function duration(ms) {
  const minutes = Math.max(0, Math.floor(ms / 60000));
  if (minutes < 1) return 'just now';
  if (minutes < 60) return `${minutes} min`;
  return `${Math.floor(minutes / 60)} h ${minutes % 60} min`;
}
