// A Mosquitto broker of the tests' own on free loopback ports, with a TCP
// listener (stations) and a WebSocket listener (the dashboard). It goes with
// the process that started it, however that process ends.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

export async function startBroker() {
  const folder = mkdtempSync(path.join(os.tmpdir(), 'fwu-broker-'));
  const tcpPort = await freePort();
  const wsPort = await freePort();
  const config = path.join(folder, 'mosquitto.conf');
  writeFileSync(config, [
    'allow_anonymous true', 'persistence false', 'log_dest stderr', 'log_type error',
    `listener ${tcpPort} 127.0.0.1`, `listener ${wsPort} 127.0.0.1`, 'protocol websockets', '',
  ].join('\n'));
  const child = spawn('mosquitto', ['-c', config], { stdio: ['ignore', 'ignore', 'inherit'] });
  const stop = () => {
    if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
    rmSync(folder, { recursive: true, force: true });
  };
  process.on('exit', stop);
  for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) process.once(signal, () => { stop(); process.exit(1); });
  await waitForListener(tcpPort, child);
  await waitForListener(wsPort, child);
  return { tcpUrl: `mqtt://127.0.0.1:${tcpPort}`, wsUrl: `ws://127.0.0.1:${wsPort}`, stop };
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function waitForListener(port, child) {
  const deadline = Date.now() + 10000;
  while (Date.now() < deadline) {
    if (child.exitCode !== null) throw new Error(`mosquitto exited with ${child.exitCode}`);
    if (await accepts(port)) return;
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  throw new Error(`mosquitto did not listen on ${port} within 10 s`);
}

function accepts(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('connect', () => { socket.destroy(); resolve(true); });
    socket.once('error', () => resolve(false));
  });
}
