// Runs the grammar test with `node --test`, or reports it skipped (exit code 77) when this
// machine lacks the test's node packages.
// Usage: node run.mjs <zodadovez binary>
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const [binary] = process.argv.slice(2);
if (!binary) {
  console.error('usage: node run.mjs <zodadovez binary>');
  process.exit(2);
}
if (!fs.existsSync(path.join(here, 'node_modules', 'node-sql-parser'))) {
  console.log('grammar test skipped: this machine lacks the node packages ' +
              '(npm ci --prefix tests/grammar)');
  process.exit(77);
}
const result = spawnSync(process.execPath, ['--test', path.join(here, 'grammar.test.mjs')], {
  stdio: 'inherit',
  env: { ...process.env, ZODADOVEZ_BINARY: binary },
});
process.exit(result.status ?? 1);
