// Every distinct statement shape that a demo import and an import of the end-to-end fixture send
// (read from the --sql-log files of those runs), and the batches of the schema scripts for a
// SQL Server, parsed by an independent T-SQL grammar: node-sql-parser, dialect transactsql.
// A statement the grammar refuses fails the test unless taking out one of the grammar's known
// gaps (known_gaps.mjs) makes it parse.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import sqlParser from 'node-sql-parser';

import { batchGaps, statementGaps } from './known_gaps.mjs';
import { shapeOf, tokenize, untokenize } from './tsql_tokens.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const source = path.resolve(here, '..', '..');
const binary = process.env.ZODADOVEZ_BINARY;
const parser = new sqlParser.Parser();
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'zdv-grammar-'));
process.on('exit', () => fs.rmSync(work, { recursive: true, force: true }));

function zodadovez(...args) {
  const run = spawnSync(binary, args, { encoding: 'utf8', cwd: work });
  // 3: the run completed with anomalies, as the fixtures' runs do on purpose.
  if (run.status !== 0 && run.status !== 3) {
    throw new Error(`zodadovez ${args.join(' ')} exited ${run.status}: ${run.stderr}`);
  }
  return run;
}

// The lines of a --sql-log file, each checked for the fields a DBA reads.
function readSqlLog(file) {
  const lines = fs.readFileSync(file, 'utf8').split('\n').filter((line) => line !== '');
  return lines.map((line, index) => {
    const record = JSON.parse(line);
    const where = `${path.basename(file)} line ${index + 1}`;
    assert.equal(typeof record.sql, 'string', where);
    assert.ok(Array.isArray(record.params), where);
    assert.equal(typeof record.ms, 'number', where);
    const markers = tokenize(record.sql).filter((t) => t.kind === 'marker').length;
    assert.equal(markers, record.params.length, `${where}: a value for each marker`);
    for (const value of record.params) {
      assert.ok(value === null || ['string', 'number'].includes(typeof value), where);
    }
    return record;
  });
}

// The grammar reads any two bare words ("BEGIN TRANSACTION", "FOO BAR") as an assignment to a
// variable without its @: such a reading is no parse.
function misread(ast) {
  if (Array.isArray(ast)) return ast.some(misread);
  if (ast === null || typeof ast !== 'object') return false;
  if (ast.type === 'assign' && ast.left?.type === 'var' && !ast.left.prefix) return true;
  return Object.values(ast).some(misread);
}

function parses(sql) {
  try {
    return !misread(parser.astify(sql, { database: 'transactsql' }));
  } catch {
    return false;
  }
}

// Whether the grammar reads the statement, and which known gaps had to be taken out. ODBC's "?"
// markers are T-SQL parameters @p1, @p2 ... as sp_executesql names them.
function check(sql) {
  let n = 0;
  let tokens = tokenize(sql).map((t) => (t.kind === 'marker' ? { kind: 'word', text: `@p${++n}` } : t));
  const text = n === 0 ? sql : untokenize(tokens);
  if (parses(text)) return { ok: true, gaps: [] };
  const used = [];
  for (const gap of statementGaps) {
    const next = gap.rewrite(tokens);
    if (untokenize(next) === untokenize(tokens)) continue;
    tokens = next;
    used.push(gap.construct);
    // A statement that was the construct alone leaves nothing to parse.
    if (tokens.length === 0 || parses(untokenize(tokens))) return { ok: true, gaps: used };
  }
  return { ok: false, gaps: used };
}

const gapCounts = new Map();
function count(gaps) {
  for (const gap of gaps) gapCounts.set(gap, (gapCounts.get(gap) ?? 0) + 1);
}

test('every statement shape of a demo import and of the end-to-end fixture parses', () => {
  assert.ok(binary, 'ZODADOVEZ_BINARY names the zodadovez binary');
  const demoLog = path.join(work, 'demo.jsonl');
  zodadovez('demo', '--dir', path.join(work, 'demo'), '--sql-log', demoLog);

  // The end-to-end suite's fixture, imported as its main case imports it.
  const e2e = path.join(work, 'e2e');
  fs.mkdirSync(e2e);
  // The reports' folder relative to the run's working folder: the run history holds paths of
  // up to 80 characters, which a temporary folder's would exceed.
  fs.mkdirSync(path.join(work, 'errori'));
  const erp = `sqlite:${path.join(e2e, 'erp.db')}`;
  zodadovez('init', '--erp', erp);
  // The import reaches the gym database read-only: its rows go into its own file directly.
  const fixture = fs.readFileSync(path.join(source, 'tests/data/corpus/fixture.sql'), 'utf8');
  const batches = fixture.split(/^GO$/m);
  const gymBatches = batches.filter((b) => b.includes('Palestra.dbo.'));
  fs.writeFileSync(path.join(work, 'erp.sql'),
                   batches.filter((b) => !b.includes('Palestra.dbo.')).join('\nGO\n'));
  fs.writeFileSync(path.join(work, 'gym.sql'),
                   gymBatches.map((b) => b.replaceAll('Palestra.dbo.', 'dbo.')).join('\nGO\n'));
  zodadovez('sql', '--erp', erp, '--file', path.join(work, 'erp.sql'));
  zodadovez('sql', '--erp', `sqlite:${path.join(e2e, 'Palestra.db')}`, '--file',
            path.join(work, 'gym.sql'));
  zodadovez('sql', '--erp', erp,
            `UPDATE ZEV90_PARAMETRI SET ZEV90_DB_NAME = 'Palestra', ZEV90_NOME_SERVER = ` +
            `'EMBEDDED', ZEV90_PATH_ERRORI = 'errori'`);
  const e2eLog = path.join(work, 'e2e.jsonl');
  zodadovez('import', '--erp', erp, '--company', '1', '--mode', 'rielabora', '--from',
            '01/01/2024', '--to', '31/12/2024', '--sql-log', e2eLog);

  const shapes = new Map();
  for (const record of [...readSqlLog(demoLog), ...readSqlLog(e2eLog)]) {
    const shape = shapeOf(tokenize(record.sql));
    if (!shapes.has(shape)) shapes.set(shape, record.sql);
  }
  assert.ok(shapes.size > 50, `only ${shapes.size} statement shapes: did the imports run?`);
  const refused = [];
  let withGaps = 0;
  for (const sql of shapes.values()) {
    const result = check(sql);
    if (!result.ok) refused.push(sql);
    if (result.gaps.length > 0) withGaps++;
    count(result.gaps);
  }
  console.log(`grammar: ${shapes.size - refused.length} of ${shapes.size} distinct statement ` +
              `shapes parsed, ${withGaps} of them after taking out a known gap`);
  assert.deepEqual(refused, [], 'statements the T-SQL grammar refuses');
});

test('the schema scripts for a SQL Server parse where the grammar can', () => {
  let parsed = 0;
  const skipped = [];
  const refused = [];
  for (const script of ['procedures.sql', 'zev.sql']) {
    const text = fs.readFileSync(path.join(source, 'src/host/schema', script), 'utf8');
    const batches = [];
    let batch = [];
    for (const line of text.split('\n')) {
      if (line.trim().toUpperCase() === 'GO') {
        batches.push(batch.join('\n'));
        batch = [];
      } else {
        batch.push(line);
      }
    }
    batches.push(batch.join('\n'));
    for (const sql of batches.filter((b) => tokenize(b).length > 0)) {
      const result = check(sql);
      count(result.gaps);
      if (result.ok) {
        parsed++;
        continue;
      }
      const words = tokenize(sql).slice(0, 3).map((t) => t.text.toUpperCase()).join(' ');
      const gap = batchGaps.find((g) => words.startsWith(g.startsWith));
      if (gap) {
        skipped.push(`${script}: ${words} (${gap.construct})`);
        count([gap.construct]);
      } else {
        refused.push(`${script}: ${sql.slice(0, 200)}`);
      }
    }
  }
  console.log(`grammar: ${parsed} schema batches parsed, ${skipped.length} left to known gaps`);
  for (const [gap, n] of gapCounts) console.log(`grammar: known gap "${gap}": ${n}`);
  assert.deepEqual(refused, [], 'schema batches the T-SQL grammar refuses');
});
