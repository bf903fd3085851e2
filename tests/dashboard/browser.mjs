// Debian's Chromium, headless, driven by puppeteer-core: never a browser of
// the driver's own. Each launch has a fresh profile, removed at its close.
import { mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { requireModule } from './modules.mjs';

const puppeteer = requireModule('puppeteer-core');

export async function launchBrowser() {
  const profile = mkdtempSync(path.join(os.tmpdir(), 'fwu-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.FWU_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const close = async () => {
    await browser.close().catch(() => {});
    rmSync(profile, { recursive: true, force: true });
  };
  return { browser, close };
}

// The built dashboard's page for a broker and a line.
export function dashboardUrl(dashboardFolder, wsUrl, prefix) {
  const query = new URLSearchParams({ broker: wsUrl, prefix });
  return `file://${path.resolve(dashboardFolder, 'index.html')}?${query}`;
}
