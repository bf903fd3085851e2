// The page: connects to the line's broker over WebSocket, keeps the line's
// picture from its messages and draws what changed in one animation frame at
// most every kDrawEveryMs, however fast they come.
//   index.html?broker=ws://HOST:PORT&prefix=PREFIX
import mqtt from 'mqtt';
import { Line } from './Line.js';
import { lineSubscriptions } from './topics.js';
import { View } from './View.js';

const kRedrawTimesMs = 1000;  // the "since" and "last hour" figures move with the clock
// Drawing at most this often, in the first animation frame after it, keeps a
// busy line's screen well within half a second of its messages while a
// frame's layout and paint are paid for ten times a second, not sixty.
const kDrawEveryMs = 100;

function start() {
  const parameters = new URLSearchParams(window.location.search);
  const broker = parameters.get('broker');
  const prefix = (parameters.get('prefix') ?? 'fwupload').replace(/\/+$/, '');
  const connection = document.getElementById('connection');
  document.getElementById('prefix').textContent = prefix;
  if (!broker) {
    showConnection(connection, 'error', 'Open this page as index.html?broker=ws://HOST:PORT&prefix=PREFIX');
    return;
  }
  const line = new Line(prefix);
  const view = new View(document, line);
  let drawPending = false;
  let drawnAt = 0;
  const drawNextFrame = () => {
    if (drawPending) return;
    drawPending = true;
    setTimeout(() => requestAnimationFrame(() => {
      drawPending = false;
      drawnAt = Date.now();
      view.draw(drawnAt);
    }), Math.max(0, drawnAt + kDrawEveryMs - Date.now()));
  };
  setInterval(() => view.draw(Date.now(), true), kRedrawTimesMs);

  showConnection(connection, 'connecting', `Connecting to ${broker}…`);
  const client = mqtt.connect(broker, {
    clientId: `fwupload-dashboard-${Math.random().toString(16).slice(2, 10)}`,
    clean: true,
    keepalive: 10,
    connectTimeout: 5000,
    reconnectPeriod: 2000,
  });
  client.on('connect', () => {
    showConnection(connection, 'connected', `Connected to ${broker}`);
    // The broker sends every retained state again: what went while the page
    // was away must not stay on the screen.
    line.forgetLiveStates();
    client.subscribe(lineSubscriptions(prefix), { qos: 1 });
    drawNextFrame();
  });
  const lost = () => {
    if (!client.connected) {
      showConnection(connection, 'error', `Not connected to ${broker}: trying again…`);
    }
  };
  client.on('close', lost);
  client.on('offline', lost);
  client.on('error', (error) => showConnection(connection, 'error', `${broker}: ${error.message}`));
  client.on('message', (topic, payload) => {
    line.apply(topic, payload.toString(), Date.now());
    drawNextFrame();
  });
}

// While the page is not connected its picture is stale, and it shows so.
function showConnection(element, state, text) {
  document.body.dataset.connection = state;
  element.textContent = text;
}

start();
