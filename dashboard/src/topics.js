// The line's topics, as stations publish them:
//   PREFIX/STATION/status      PREFIX/STATION/result      PREFIX/STATION/port/NAME
// PREFIX may itself hold slashes. A port's NAME arrives percent-encoded.

// The subscriptions that receive every topic of the line under `prefix`.
export function lineSubscriptions(prefix) {
  return [`${prefix}/+/status`, `${prefix}/+/result`, `${prefix}/+/port/+`];
}

// { station, kind: 'status'|'result'|'port', port? } for a topic of the line
// under `prefix`; null for any other topic. `station` and `port` are the
// topic's own segments (keys); the port's decoded name is `portName`.
export function parseTopic(prefix, topic) {
  const head = `${prefix}/`;
  if (!topic.startsWith(head)) return null;
  const parts = topic.slice(head.length).split('/');
  if (parts.length === 2 && (parts[1] === 'status' || parts[1] === 'result') && parts[0]) {
    return { station: parts[0], kind: parts[1] };
  }
  if (parts.length === 3 && parts[1] === 'port' && parts[0] && parts[2]) {
    return { station: parts[0], kind: 'port', port: parts[2], portName: percentDecoded(parts[2]) };
  }
  return null;
}

function percentDecoded(text) {
  try {
    return decodeURIComponent(text);
  } catch {
    return text;  // not valid percent-encoding: shown as it came
  }
}
