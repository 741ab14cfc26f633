// The import window in a real browser: a demo company opened with `zodadovez window`, a
// "Rielabora" run chosen, answered and followed on the page, its results and history read, its
// selections saved, and the saved set run again by `zodadovez import --schedule`.
// Started by run.mjs, which passes ZODADOVEZ_BINARY and ZODADOVEZ_ARTIFACTS (screenshots).
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { promisify } from 'node:util';
import { chromium } from 'playwright-core';

const binary = process.env.ZODADOVEZ_BINARY;
const artifacts = process.env.ZODADOVEZ_ARTIFACTS;
assert.ok(binary && artifacts, 'run through run.mjs: it names the binary and the artifacts folder');
fs.mkdirSync(artifacts, { recursive: true });

// Enough receipts that a run lasts a few seconds, so that the page can be seen during it.
const RECEIPTS = 3000;
const SET_NAME = 'SERALE';
// Long waits are for a slow machine, never a measure of speed.
const WAIT = { timeout: 60_000 };
const GONE = { ...WAIT, state: 'attached' };

const cleanups = [];
after(async () => {
  for (const cleanup of cleanups.reverse()) await cleanup();
});

// A short folder: the run history keeps the anomaly file's path in 80 characters.
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zdvw-'));
cleanups.push(() => fs.rmSync(dir, { recursive: true, force: true }));
const erp = `sqlite:${path.join(dir, 'demo', 'erp.db')}`;

async function zodadovez(...args) {
  try {
    const { stdout, stderr } = await promisify(execFile)(binary, args, { maxBuffer: 1 << 24 });
    return { code: 0, stdout, stderr };
  } catch (e) {
    if (typeof e.code !== 'number') throw e;
    return { code: e.code, stdout: e.stdout, stderr: e.stderr };
  }
}

// Starts `zodadovez window` on a free port; resolves once it has printed its address.
function startWindow() {
  const child = spawn(binary, ['window', '--erp', erp, '--company', '1', '--port', '0'], {
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  cleanups.push(async () => {
    if (child.exitCode === null && child.signalCode === null) {
      child.kill('SIGINT');
      await exited;
    }
  });
  let output = '';
  child.stderr.on('data', (chunk) => { output += chunk; });
  const url = new Promise((resolve, reject) => {
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const found = output.match(/http:\/\/127\.0\.0\.1:\d+\//);
      if (found) resolve(found[0]);
    });
    child.on('exit', () => reject(new Error(`zodadovez window stopped:\n${output}`)));
  });
  return { url, exited };
}

async function launchBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zdvw-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1000, height: 900 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--no-first-run', '--disable-component-update', '--disable-sync'],
  });
  cleanups.push(async () => {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  });
  return context;
}

// Opens an event stream of the window from outside the browser; resolves to the request once the
// window has answered.
function openStream(url) {
  return new Promise((resolve, reject) => {
    const request = http.get(new URL('/api/events', url), {
      headers: { Accept: 'text/event-stream' }, agent: false,
    }, (res) => (res.statusCode === 200 ? resolve(request) : reject(new Error(`${res.statusCode}`))));
    request.on('error', reject);
  });
}

// The captions of a grid's header that do not fit their cells.
async function cutHeaders(page, grid) {
  return page.$$eval(`#${grid} th`, (ths) =>
    ths.filter((th) => th.scrollWidth > th.clientWidth).map((th) => th.textContent));
}

async function screenshot(page, name) {
  await page.screenshot({ path: path.join(artifacts, `window-${name}.png`), fullPage: true });
}

async function cells(page, grid) {
  return page.$$eval(`#${grid} tbody tr`, (rows) =>
    rows.filter((r) => !r.querySelector('td.empty'))
      .map((r) => [...r.cells].map((c) => c.textContent.trim())));
}

async function dialog(page) {
  await page.waitForSelector('#MSGBOX[open]', WAIT);
  return {
    title: await page.textContent('#MSGBOX_TITLE'),
    text: await page.textContent('#MSGBOX_TEXT'),
    icon: await page.getAttribute('#MSGBOX_ICON', 'class'),
    buttons: await page.$$eval('#MSGBOX_BUTTONS button', (bs) => bs.map((b) => b.textContent)),
  };
}

async function press(page, label) {
  await page.click(`#MSGBOX_BUTTONS button:text-is("${label}")`);
  await page.waitForSelector('#MSGBOX:not([open])', GONE);
}

// The rows of `zodadovez history`: one token per cell.
function historyRows(stdout) {
  const lines = stdout.split('\n');
  const start = lines.findIndex((l) => /^-+ /.test(l)) + 1;
  const rows = [];
  for (let i = start; i < lines.length && lines[i].trim() !== ''; i++) {
    rows.push(lines[i].trim().split(/\s+/));
  }
  return rows;
}

test('the import window, from a fresh demo to a scheduled run of its saved selections', { timeout: 600_000 }, async (t) => {
  const demo = await zodadovez('demo', '--dir', path.join(dir, 'demo'), '--receipts', String(RECEIPTS),
    '--no-import');
  assert.equal(demo.code, 0, demo.stderr);

  const window = startWindow();
  const url = await window.url;
  const context = await launchBrowser();
  const page = context.pages()[0] ?? await context.newPage();
  const pageErrors = [];
  page.on('pageerror', (e) => pageErrors.push(e.message));
  await page.goto(url);

  let windowRow;

  await t.test('opens on the configurations, all ticked, and an empty history', async () => {
    await page.waitForFunction(() => document.querySelectorAll('#GRID_IMPORT tbody button.toggle').length === 2, null, WAIT);
    assert.deepEqual(await page.$$eval('#GRID_IMPORT th', (ths) => ths.map((th) => th.textContent)),
      ['Config.', 'Descrizione', 'Selezione']);
    const configurations = await cells(page, 'GRID_IMPORT');
    assert.deepEqual(configurations.map((r) => [r[0], r[2]]), [['1', 'SI'], ['2', 'SI']]);
    assert.deepEqual(await page.$$eval('#GRID_RESULT th', (ths) => ths.map((th) => th.textContent)),
      ['Azienda', 'Data Elabor.', 'Data Inizio Doc.', 'Data Fine Doc.', 'IDRicevuta', 'Totale doc.',
        'Doc. Importati', 'Doc. Scartati', 'Tipo Elab.']);
    assert.deepEqual(await cells(page, 'GRID_RESULT'), []);
    assert.deepEqual(await cutHeaders(page, 'GRID_IMPORT'), []);
    assert.deepEqual(await cutHeaders(page, 'GRID_RESULT'), []);
    assert.equal(await page.inputValue('#CBO_ELABORA'), '0');
    assert.equal(await page.inputValue('#TXT_DATA_INI'), '01/01/2001');
    assert.ok(await page.isDisabled('#TXT_DATA_INI'));
    assert.ok(await page.isEnabled('#CMD_IMPORT'));
    assert.ok(await page.isHidden('#TAB_1'));
    await screenshot(page, '1-before');
  });

  await t.test('a page too many is told why it gets no events', async () => {
    // The window follows at most 8 pages; this page holds one stream already.
    const streams = [];
    for (let i = 0; i < 7; i++) streams.push(await openStream(url));
    const extra = await context.newPage();
    await extra.goto(url);
    await extra.waitForFunction(() => /Troppe pagine aperte/.test(document.getElementById('STATUS').textContent), null, WAIT);
    await extra.close();
    for (const stream of streams) stream.destroy();
  });

  await t.test('a click on SI leaves configuration 1 out', async () => {
    await page.click('#GRID_IMPORT tbody tr:nth-child(1) button.toggle');
    await page.waitForFunction(() =>
      document.querySelector('#GRID_IMPORT tbody tr:nth-child(1) button.toggle').textContent === 'NO', null, WAIT);
    assert.equal(await page.textContent('#GRID_IMPORT tbody tr:nth-child(2) button.toggle'), 'SI');
  });

  await t.test('Rielabora asks first, then opens the range fields', async () => {
    await page.selectOption('#CBO_ELABORA', '1');
    const question = await dialog(page);
    assert.equal(question.text,
      "Attenzione prima di eseguire questa operazione\nsi deve eseguire l'annullamento dei documenti per il periodo\nche si desidera rimportare\nConferma operazione ?");
    assert.deepEqual(question.buttons, ['Sì', 'No']);
    assert.match(question.icon, /question/);
    await screenshot(page, '2-question');
    await press(page, 'Sì');
    await page.waitForFunction(() => !document.getElementById('TXT_DATA_INI').disabled, null, WAIT);
    assert.equal(await page.inputValue('#CBO_ELABORA'), '1');
    await page.waitForFunction(() => document.activeElement?.id === 'TXT_DATA_INI', null, WAIT);
  });

  await t.test('a wrong range is refused with its message and the focus on the field', async () => {
    await page.fill('#TXT_DATA_INI', '30/06/2024');
    await page.fill('#TXT_DATA_FINE', '01/01/2024');
    await page.press('#TXT_DATA_FINE', 'Tab');
    await page.click('#CMD_IMPORT');
    const refusal = await dialog(page);
    assert.equal(refusal.text, 'Intervallo non valido');
    assert.deepEqual(refusal.buttons, ['OK']);
    assert.match(refusal.icon, /critical/);
    await press(page, 'OK');
    await page.waitForFunction(() => document.activeElement?.id === 'TXT_DATA_INI', null, WAIT);
    assert.ok(await page.isEnabled('#CMD_IMPORT'));
  });

  await t.test('the import asks, runs with its progress bar and ends', async () => {
    await page.fill('#TXT_DATA_INI', '01/01/2024');
    await page.fill('#TXT_DATA_FINE', '30/06/2024');
    await page.press('#TXT_DATA_FINE', 'Tab');
    await page.click('#CMD_IMPORT');
    const confirm = await dialog(page);
    assert.equal(confirm.text, 'Confermi importazione Dati ?');
    assert.deepEqual(confirm.buttons, ['Sì', 'No']);

    // A second page sees the same question and cannot start a second run.
    const second = await context.newPage();
    await second.goto(url);
    await second.waitForSelector('#MSGBOX[open]', WAIT);
    assert.equal(await second.textContent('#MSGBOX_TEXT'), 'Confermi importazione Dati ?');
    const refused = await second.evaluate(async () => {
      const res = await fetch('/api/import', {
        method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}',
      });
      return { status: res.status, body: await res.json() };
    });
    assert.equal(refused.status, 409);
    assert.match(refused.body.error, /in corso/);

    await press(page, 'Sì');
    // The other page's box closes too: the question was answered.
    await second.waitForSelector('#MSGBOX:not([open])', GONE);
    await second.close();

    await page.waitForFunction(() => {
      const bar = document.getElementById('PBAR');
      return Number(bar.dataset.value) > 0 && Number(bar.dataset.value) < Number(bar.dataset.max);
    }, null, WAIT);
    assert.ok(await page.isDisabled('#CMD_IMPORT'));
    assert.ok(await page.isDisabled('#CMD_ESCI'));
    await screenshot(page, '3-during');

    await page.waitForFunction(() =>
      document.getElementById('PBAR').dataset.text === '.....IMPORT TERMINATO .....', null, WAIT);
    const bar = await page.$eval('#PBAR', (b) => ({ ...b.dataset }));
    assert.ok(Number(bar.max) > 0);
    assert.equal(bar.value, bar.max);
    assert.equal(await page.textContent('#PBAR .text'), '.....IMPORT TERMINATO .....');
    await page.waitForFunction(() => !document.getElementById('CMD_ESCI').disabled, null, WAIT);
    assert.ok(await page.isDisabled('#CMD_IMPORT'));
    assert.ok(await page.isDisabled('#CMD_NUOVO'));
    assert.ok(await page.isDisabled('#CBO_ELABORA'));
  });

  let counts;
  await t.test('the results page shows the results file', async () => {
    assert.equal(await page.getAttribute('#TAB_1', 'aria-selected'), 'true');
    assert.ok(await page.isVisible('#TXT_VISUALIZZA'));
    const results = await page.inputValue('#TXT_VISUALIZZA');
    assert.match(results, /^Risultato Generazione Documenti/);
    counts = {
      present: results.match(/Documenti Presenti = (\d+)/)[1],
      imported: results.match(/Documenti Importati = (\d+)/)[1],
      discarded: results.match(/Documenti Scartati = (\d+)/)[1],
    };
    assert.ok(Number(counts.present) > 0);
    // Long lines wrap: nothing is hidden to the right.
    assert.ok(await page.$eval('#TXT_VISUALIZZA', (t) => t.scrollWidth <= t.clientWidth));
    await screenshot(page, '4-results');
  });

  await t.test('the history shows the run', async () => {
    await page.click('#TAB_0');
    await page.waitForFunction(() => document.querySelectorAll('#GRID_RESULT tbody tr td:not(.empty)').length > 0, null, WAIT);
    const rows = await cells(page, 'GRID_RESULT');
    assert.equal(rows.length, 1);
    windowRow = rows[0];
    assert.equal(windowRow[0], '1');
    assert.deepEqual(windowRow.slice(5), [counts.present, counts.imported, counts.discarded, 'Rielabora']);
    // The fields keep the range the run was given.
    assert.equal(await page.inputValue('#TXT_DATA_INI'), '01/01/2024');
    await screenshot(page, '5-history');
  });

  await t.test('the selections are saved as a named set', async () => {
    await page.fill('#QDX_NOME', SET_NAME);
    await page.click('#QDX_SALVA');
    await page.waitForFunction((name) => document.getElementById('QDX_ESITO').textContent ===
      `Selezioni salvate come "${name}".`, SET_NAME, WAIT);
    assert.ok(await page.$(`#QDX_ELENCO option[value="${SET_NAME}"]`));
  });

  await t.test('Esci closes the window and ends the command', async () => {
    await page.click('#CMD_ESCI');
    await page.waitForSelector('#CLOSED:not([hidden])', WAIT);
    await screenshot(page, '6-closed');
    const { code } = await window.exited;
    assert.equal(code, 0);
    assert.deepEqual(pageErrors, []);
  });

  await t.test('the saved set runs unattended with the same result', async () => {
    const scheduled = await zodadovez('import', '--erp', erp, '--company', '1', '--schedule', SET_NAME);
    assert.equal(scheduled.code, 0, scheduled.stderr);
    assert.match(scheduled.stdout, /Centro Mare/);
    assert.doesNotMatch(scheduled.stdout, /Palestra Centro/);

    const history = await zodadovez('history', '--erp', erp, '--company', '1');
    assert.equal(history.code, 0, history.stderr);
    const rows = historyRows(history.stdout);
    assert.equal(rows.length, 2);
    // Same company, receipt dates, last receipt, counts and mode; only the run is another.
    assert.deepEqual(rows[0].slice(2), windowRow.slice(2));
    assert.deepEqual(rows[1].slice(2), windowRow.slice(2));
  });
});
