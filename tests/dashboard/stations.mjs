// Plays fwupload stations on a broker: the topics and JSON a station
// publishes, and its last will, for the dashboard's tests and benchmark.
import { requireModule } from './modules.mjs';

const mqtt = requireModule('mqtt');

// A port's name as one topic level.
export function portTopicName(name) {
  return name.replace(/[%/+#\x00-\x1f]/g, (c) => `%${c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0')}`);
}

export class PlayedStation {
  static async connect(brokerUrl, prefix, name) {
    const station = new PlayedStation(prefix, name);
    station.client = mqtt.connect(brokerUrl, {
      clientId: `played-${Math.random().toString(16).slice(2, 10)}`,
      keepalive: 10,
      reconnectPeriod: 0,
      will: {
        topic: station.topic('status'), qos: 1, retain: true,
        payload: JSON.stringify({ station: name, state: 'offline', lost: true }),
      },
    });
    await new Promise((resolve, reject) => {
      station.client.once('connect', resolve);
      station.client.once('error', reject);
    });
    return station;
  }

  constructor(prefix, name) {
    this.prefix = prefix;
    this.name = name;
    this.tally = { updated: 0, failed: 0 };
    this.nextId = 1;
  }

  topic(rest) {
    return `${this.prefix}/${this.name}/${rest}`;
  }

  publish(rest, message, options) {
    const payload = typeof message === 'string' ? message : JSON.stringify(message);
    return this.client.publishAsync(this.topic(rest), payload, options);
  }

  online(file = 'board-1.4.2.bin', sha256 = 'c0ffee00deadbeef'.repeat(4)) {
    this.status = {
      station: this.name, state: 'online', since: new Date().toISOString(), file, path: `/srv/firmware/${file}`,
      sha256, version: '1.0.0', patterns: ['/dev/ttyUSB*'], tally: this.tally,
    };
    return this.publish('status', this.status, { qos: 1, retain: true });
  }

  // state: appeared | running | waiting | result | left-alone
  port(name, state, fields = {}) {
    return this.publish(`port/${portTopicName(name)}`, {
      port: name, state, percent: 0, time: new Date().toISOString(), ...fields,
    }, { qos: 0, retain: true });
  }

  portGone(name) {
    return this.publish(`port/${portTopicName(name)}`, '', { qos: 0, retain: true });
  }

  // outcome 0 is success; returns the record as published.
  async result(port, outcome, outcomeText, reason = '', id = this.nextId++) {
    outcome === 0 ? ++this.tally.updated : ++this.tally.failed;
    const now = new Date().toISOString();
    const record = {
      id, invocation_id: 1, started_at: now, ended_at: now, port, usb_vendor: '0403', usb_product: '6001',
      usb_serial: 'A10K', usb_location: '1-1.2', file_path: '/srv/firmware/board-1.4.2.bin', file_size: 3000,
      file_sha256: 'c0ffee00deadbeef'.repeat(4), outcome, outcome_text: outcomeText, reason, bytes: 3000,
      seconds: 4.2, pace: 'normal', host: 'line-host', version: '1.0.0', station: this.name,
    };
    await this.publish('result', record, { qos: 1 });
    await this.publish('status', this.status, { qos: 1, retain: true });  // the tally moved
    return record;
  }

  // Ends the connection as a killed station's does: no goodbye, so the
  // broker publishes the last will.
  kill() {
    this.client.stream.destroy();
    this.client.end(true);
  }

  end() {
    return this.client.endAsync();
  }
}
