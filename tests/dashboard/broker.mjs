// The tests' Mosquitto on loopback (scripts/broker.sh: a TCP listener for
// stations, a WebSocket listener for the dashboard, on free ports). It goes
// with the process that started it, however that process ends.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const script = fileURLToPath(new URL('../../scripts/broker.sh', import.meta.url));

export async function startBroker() {
  const folder = mkdtempSync(path.join(os.tmpdir(), 'fwu-broker-'));
  const child = spawn('setpriv', ['--pdeathsig', 'TERM', script, folder], { stdio: ['ignore', 'pipe', 'inherit'] });
  const removeFolder = () => rmSync(folder, { recursive: true, force: true });
  child.once('exit', removeFolder);
  const stop = () => {
    if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
  };
  process.on('exit', () => { stop(); removeFolder(); });
  for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) process.once(signal, () => { stop(); process.exit(1); });
  const ports = await new Promise((resolve, reject) => {
    let output = '';
    child.stdout.on('data', (data) => {
      output += data;
      const line = output.match(/tcp=(\d+) ws=(\d+)/);
      if (line) resolve({ tcp: line[1], ws: line[2] });
    });
    child.once('exit', (code) => reject(new Error(`scripts/broker.sh ended with ${code} before its broker listened`)));
  });
  return { tcpUrl: `mqtt://127.0.0.1:${ports.tcp}`, wsUrl: `ws://127.0.0.1:${ports.ws}`, stop };
}
