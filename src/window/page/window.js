// The import window's page: shows the window's snapshot, follows its events and sends the
// user's actions. The window decides everything; the page only shows and asks.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const FIELDS = ['TXT_DATA_INI', 'TXT_DATA_FINE', 'TXT_DADOC', 'TXT_ADOC'];
  // Grid columns whose cells are numbers, right-aligned.
  const NUMERIC = new Set(['ZEV90_ID', 'ZEV99_DITTA_CG18', 'ZEV99_IDRICEVUTA', 'ZEV99_TOTREC',
    'ZEV99_TOTIMP', 'ZEV99_NUMERR']);
  const TWIPS_PER_PIXEL = 15;

  let state = null;
  let requests = Promise.resolve();  // the page's requests, one after the other
  const fieldValues = {};            // the value of each field as the window last showed it
  let focusCount = null;
  let pendingFocus = null;
  let dialogId = 0;                  // the message box on screen
  let answeredId = 0;                // the last message box answered from this page
  let serverPage = null;             // TAB_PARAMETRI's page as the window last selected it
  let localPage = 0;                 // the page the user is looking at
  let savedName = null;              // a save waiting to show in the list
  let savedAfter = 0;                // ... and the version of the state that queued it
  let events = null;

  function showStatus(text) {
    $('STATUS').textContent = text || '';
  }

  // Sends one request after the earlier ones, so that a field edit reaches the window before
  // the button pressed right after it. Resolves to true when the window took it.
  function send(path, body) {
    const request = requests.then(async () => {
      try {
        const res = await fetch(path, {
          method: 'POST',
          headers: { 'Content-Type': 'application/json' },
          body: JSON.stringify(body || {}),
        });
        if (res.ok) {
          showStatus('');
          return await res.json().catch(() => ({}));
        }
        const reply = await res.json().catch(() => ({}));
        showStatus(reply.error || `Richiesta rifiutata (${res.status}).`);
      } catch (e) {
        showStatus('La finestra non risponde.');
      }
      return false;
    });
    requests = request.then(() => undefined);
    return request;
  }

  // --- Rendering ----------------------------------------------------------------------------

  const measure = document.createElement('canvas').getContext('2d');

  // The width of a caption's widest word in its header cell, padding included: a caption may
  // wrap between words, never inside one.
  function captionWidth(th) {
    const style = getComputedStyle(th);
    measure.font = `${style.fontWeight} ${style.fontSize} ${style.fontFamily}`;
    const words = th.textContent.split(/\s+/).filter((w) => w !== '');
    const widest = Math.max(0, ...words.map((w) => measure.measureText(w).width));
    return Math.ceil(widest + parseFloat(style.paddingLeft) + parseFloat(style.paddingRight) +
      parseFloat(style.borderRightWidth) + 1);
  }

  function gridHead(table, grid) {
    const colgroup = document.createElement('colgroup');
    const tr = document.createElement('tr');
    for (const column of grid.columns) {
      colgroup.append(document.createElement('col'));
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = column.caption;
      th.dataset.field = column.field;
      if (NUMERIC.has(column.field)) th.classList.add('num');
      tr.append(th);
    }
    const thead = document.createElement('thead');
    thead.append(tr);
    table.replaceChildren(colgroup, thead, document.createElement('tbody'));
    // The window's widths, in twips, were chosen for its own font: a column is widened where
    // its caption would not fit.
    grid.columns.forEach((column, c) => {
      const width = Math.max(Math.round(column.width / TWIPS_PER_PIXEL), captionWidth(tr.cells[c]));
      colgroup.children[c].style.width = `${width}px`;
    });
  }

  function renderGrid(table, grid, cell, emptyText) {
    if (!table.tHead) gridHead(table, grid);
    const tbody = table.tBodies[0];
    const rows = [];
    grid.rows.forEach((values, index) => {
      const tr = document.createElement('tr');
      tr.dataset.row = String(index);
      values.forEach((text, c) => {
        const td = document.createElement('td');
        const field = grid.columns[c].field;
        td.dataset.field = field;
        if (NUMERIC.has(field)) td.classList.add('num');
        cell(td, field, text, index);
        tr.append(td);
      });
      rows.push(tr);
    });
    if (rows.length === 0) {
      const tr = document.createElement('tr');
      const td = document.createElement('td');
      td.colSpan = grid.columns.length;
      td.className = 'empty';
      td.textContent = emptyText;
      tr.append(td);
      rows.push(tr);
    }
    tbody.replaceChildren(...rows);
  }

  function renderConfigurations(grid, locked) {
    renderGrid($('GRID_IMPORT'), grid, (td, field, text, row) => {
      if (field !== 'SELEZIONE') {
        td.textContent = text;
        td.title = text;
        return;
      }
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'toggle';
      button.textContent = text;
      button.setAttribute('aria-pressed', text === 'SI' ? 'true' : 'false');
      button.setAttribute('aria-label', `Selezione configurazione ${grid.rows[row][0]}: ${text}`);
      button.disabled = locked;
      button.addEventListener('click', () => send('/api/toggle', { row }));
      td.append(button);
    }, 'Nessuna configurazione per questa azienda.');
  }

  function renderHistory(grid) {
    renderGrid($('GRID_RESULT'), grid, (td, field, text) => {
      td.textContent = text;
      td.title = text;
    }, 'Nessuna elaborazione eseguita.');
  }

  function renderProgress(pbar) {
    const bar = $('PBAR');
    const max = Number(pbar.max) || 0;
    const value = Math.max(0, Number(pbar.value) || 0);
    const share = max > 0 ? Math.min(1, value / max) : 0;
    bar.querySelector('.fill').style.width = `${(share * 100).toFixed(2)}%`;
    // While a run counts, the window's text is its total: the count goes with it.
    let text = pbar.text || '';
    if (max > 0 && (text === '' || text === String(max))) text = `${value} / ${max}`;
    bar.querySelector('.text').textContent = text;
    bar.setAttribute('aria-valuemax', String(max));
    bar.setAttribute('aria-valuenow', String(Math.min(value, max)));
    bar.dataset.max = String(max);
    bar.dataset.value = String(value);
    bar.dataset.text = pbar.text || '';
  }

  function renderTabs(tab) {
    if (tab.selected !== serverPage) {
      serverPage = tab.selected;
      localPage = tab.selected;
    }
    if (!tab.visible[localPage]) localPage = 0;
    for (let page = 0; page < 3; page++) {
      const button = $(`TAB_${page}`);
      button.hidden = !tab.visible[page];
      button.setAttribute('aria-selected', page === localPage ? 'true' : 'false');
      button.tabIndex = page === localPage ? 0 : -1;
      $(`PAGE_${page}`).hidden = page !== localPage;
    }
  }

  function renderDialog(dialog) {
    const box = $('MSGBOX');
    if (!dialog) {
      if (box.open) box.close();
      dialogId = 0;
      applyFocus();
      return;
    }
    if ((dialog.id === dialogId && box.open) || dialog.id <= answeredId) return;
    dialogId = dialog.id;
    box.dataset.id = String(dialog.id);
    box.dataset.style = String(dialog.style);
    $('MSGBOX_TITLE').textContent = dialog.title;
    $('MSGBOX_TEXT').textContent = dialog.text.replace(/\r\n?/g, '\n');
    const icon = $('MSGBOX_ICON');
    icon.className = `msg-icon ${dialog.icon}`;
    const buttons = dialog.buttons.map((b) => {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = b.label;
      button.dataset.answer = String(b.answer);
      button.addEventListener('click', () => answer(dialog.id, b.answer));
      return button;
    });
    $('MSGBOX_BUTTONS').replaceChildren(...buttons);
    if (!box.open) box.showModal();
    buttons[0].focus();
  }

  async function answer(id, button) {
    answeredId = Math.max(answeredId, id);
    for (const b of $('MSGBOX_BUTTONS').querySelectorAll('button')) b.disabled = true;
    try {
      await fetch('/api/answer', {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify({ dialog: id, button }),
      });
    } catch (e) {
      // Not delivered: the box stays, to be answered again.
      showStatus('La finestra non risponde.');
      answeredId = id - 1;
      for (const b of $('MSGBOX_BUTTONS').querySelectorAll('button')) b.disabled = false;
      return;
    }
    // The window's next event closes the box or shows the next one; this one is answered.
    if (dialogId === id && $('MSGBOX').open) {
      $('MSGBOX').close();
      applyFocus();
    }
  }

  // Moves the focus where the window asked, once no box is open and the control is enabled
  // (controls stay locked until the request that asked has ended).
  function applyFocus() {
    if (!pendingFocus || $('MSGBOX').open) return;
    const target = $(pendingFocus);
    if (!target) {
      pendingFocus = null;
    } else if (!target.disabled) {
      pendingFocus = null;
      target.focus();
    }
  }

  function render(next) {
    state = next;
    const w = next.window || {};
    const locked = next.importing || next.closed;
    if (w.caption) {
      $('CAPTION').textContent = w.caption;
      document.title = w.caption;
    }
    if (w.company !== undefined) $('COMPANY').textContent = `Azienda ${w.company}`;

    if (w.CBO_ELABORA) {
      const select = $('CBO_ELABORA');
      if (select.options.length === 0) {
        for (const item of w.CBO_ELABORA.items) select.add(new Option(item.text, String(item.code)));
      }
      select.value = String(w.CBO_ELABORA.value);
      select.disabled = locked || !w.CBO_ELABORA.enabled;
      for (const id of FIELDS) {
        const input = $(id);
        const field = w[id];
        if (fieldValues[id] !== field.value) {
          fieldValues[id] = field.value;
          input.value = field.value;
        }
        input.disabled = locked || !field.enabled;
      }
      $('CMD_IMPORT').disabled = locked || !w.CMD_IMPORT.enabled;
      $('CMD_NUOVO').disabled = locked || !w.CMD_NUOVO.enabled;
      $('CMD_ESCI').disabled = locked || !w.CMD_ESCI.enabled;
      renderTabs(w.TAB_PARAMETRI);
      $('TXT_VISUALIZZA').value = w.TXT_VISUALIZZA.value;
      $('TXT_ERRTRANSCOD').value = w.TXT_ERRTRANSCOD.value;
      renderProgress(w.PBAR);
      renderConfigurations(w.GRID_IMPORT, locked);
      renderHistory(w.GRID_RESULT);
      $('PROPOSAL_NOTE').textContent = w.PROPOSAL_NOTE || '';
      $('PROPOSAL_NOTE').hidden = !w.PROPOSAL_NOTE;
      document.body.classList.toggle('wait', Boolean(w.wait_cursor));
    }

    const names = next.saved_sets || [];
    $('QDX_ELENCO').replaceChildren(...names.map((name) => new Option(name, name)));
    $('QDX_SALVA').disabled = locked;
    $('QDX_NOME').disabled = locked;
    renderSaved(next);

    if (focusCount === null) {
      focusCount = next.focus.count;
    } else if (next.focus.count > focusCount) {
      focusCount = next.focus.count;
      pendingFocus = next.focus.control;
    }
    renderDialog(next.dialog);
    applyFocus();

    if (next.error) showStatus(next.error);
    if (next.closed) {
      $('CLOSED').hidden = false;
      if (events) events.close();
    }
  }

  // --- Actions ------------------------------------------------------------------------------

  $('CBO_ELABORA').addEventListener('change', (e) => {
    send('/api/mode', { value: Number(e.target.value) });
  });
  for (const id of FIELDS) {
    $(id).addEventListener('change', (e) => {
      send('/api/field', { control: id, value: e.target.value });
    });
  }
  $('CMD_IMPORT').addEventListener('click', () => send('/api/import'));
  $('CMD_NUOVO').addEventListener('click', () => send('/api/nuovo'));
  $('CMD_ESCI').addEventListener('click', () => send('/api/esci'));

  // The page learns of a finished save from the states that follow it; the last of them may come
  // before the reply to the save itself, so both ends call this.
  function renderSaved(next) {
    const names = next.saved_sets || [];
    if (savedName && !next.busy && next.version > savedAfter) {
      $('QDX_ESITO').textContent = names.includes(savedName)
        ? `Selezioni salvate come "${savedName}".`
        : `Selezioni non salvate: vedere gli errori.`;
      savedName = null;
    } else if (!savedName) {
      $('QDX_ESITO').textContent = names.length ? `Salvate: ${names.join(', ')}` : '';
    }
  }

  async function save() {
    const name = $('QDX_NOME').value.trim();
    if (!name) {
      showStatus('Indicare il nome delle selezioni.');
      $('QDX_NOME').focus();
      return;
    }
    const reply = await send('/api/save', { name });
    if (reply) {
      savedName = name;
      savedAfter = reply.version || 0;
      $('QDX_ESITO').textContent = 'Salvataggio in corso…';
      if (state) renderSaved(state);
    }
  }
  $('QDX_SALVA').addEventListener('click', save);
  $('QDX_NOME').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') save();
  });

  for (let page = 0; page < 3; page++) {
    $(`TAB_${page}`).addEventListener('click', () => {
      localPage = page;
      if (state) renderTabs(state.window.TAB_PARAMETRI);
    });
  }

  // A message box is closed only by one of its buttons; Esc presses Cancel, or OK when it is
  // the only button.
  $('MSGBOX').addEventListener('cancel', (e) => {
    e.preventDefault();
    const buttons = [...$('MSGBOX_BUTTONS').querySelectorAll('button')];
    const cancel = buttons.find((b) => b.dataset.answer === '2') ||
      (buttons.length === 1 ? buttons[0] : null);
    if (cancel && !cancel.disabled) cancel.click();
  });

  // --- Events -------------------------------------------------------------------------------

  fetch('/api/state').then((res) => res.json()).then(render).catch(() => {
    showStatus('La finestra non risponde.');
  });

  // An EventSource that the window refuses (too many pages follow it) gives up without saying
  // why: the same request made by fetch reads the window's reason, and the page tries again
  // a little later, when another page may have closed.
  async function explainRefusal() {
    const abort = new AbortController();
    try {
      const res = await fetch('/api/events', {
        headers: { Accept: 'text/event-stream' }, signal: abort.signal,
      });
      if (res.ok) {
        abort.abort();
        follow();
        return;
      }
      const reply = await res.json().catch(() => ({}));
      showStatus(reply.error || `Collegamento con la finestra rifiutato (${res.status}).`);
    } catch (e) {
      showStatus('La finestra non risponde.');
    }
    setTimeout(follow, 10_000);
  }

  function follow() {
    if (state && state.closed) return;
    events = new EventSource('/api/events');
    events.addEventListener('state', (e) => render(JSON.parse(e.data)));
    events.addEventListener('closed', (e) => render(JSON.parse(e.data)));
    events.addEventListener('dialog', (e) => renderDialog(JSON.parse(e.data)));
    events.addEventListener('progress', (e) => {
      const pbar = JSON.parse(e.data);
      if (state && state.window) state.window.PBAR = pbar;
      renderProgress(pbar);
    });
    events.addEventListener('open', () => showStatus(''));
    events.addEventListener('error', () => {
      if (state && state.closed) return;
      if (events.readyState === EventSource.CLOSED) {
        explainRefusal();
      } else {
        showStatus('Collegamento con la finestra interrotto: nuovo tentativo…');
      }
    });
  }
  follow();
})();
