// Runs the browser tests of the import window with `node --test`, or reports them skipped
// (exit code 77) when this machine lacks Debian's Chromium or the tests' node packages.
// Usage: node run.mjs <zodadovez binary> <folder for screenshots>
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const [binary, artifacts] = process.argv.slice(2);
if (!binary || !artifacts) {
  console.error('usage: node run.mjs <zodadovez binary> <folder for screenshots>');
  process.exit(2);
}

const missing = [];
if (!fs.existsSync('/usr/bin/chromium')) {
  missing.push("Debian's chromium (apt-get install chromium)");
}
if (!fs.existsSync(path.join(here, 'node_modules', 'playwright-core'))) {
  missing.push('the node packages (npm ci --prefix tests/browser)');
}
if (missing.length > 0) {
  console.log(`browser tests skipped: this machine lacks ${missing.join(' and ')}`);
  process.exit(77);
}

const result = spawnSync(process.execPath, ['--test', path.join(here, 'window.test.mjs')], {
  stdio: 'inherit',
  env: { ...process.env, ZODADOVEZ_BINARY: binary, ZODADOVEZ_ARTIFACTS: artifacts },
});
process.exit(result.status ?? 1);
