// The npm packages the build installed for the dashboard (its folder in
// FWU_DASHBOARD_MODULES): the MQTT client and the browser's driver.
import { createRequire } from 'node:module';
import path from 'node:path';

const folder = process.env.FWU_DASHBOARD_MODULES;
if (!folder) throw new Error('FWU_DASHBOARD_MODULES names no folder of npm packages');
export const requireModule = createRequire(path.join(folder, 'noop.js'));
