// A small T-SQL tokenizer for the grammar test: enough to tell literals, names and markers apart
// (strings with doubled quotes, N'...', [names], "names", numbers, @variables, #temp tables,
// comments), so that statements can be grouped by shape and rewritten token by token.

export function tokenize(sql) {
  const tokens = [];
  let i = 0;
  const isWord = (c) => /[A-Za-z0-9_$@#\u00C0-\uFFFF]/.test(c);
  while (i < sql.length) {
    const c = sql[i];
    const start = i;
    if (/\s/.test(c)) {
      i++;
      continue;
    }
    if (c === '-' && sql[i + 1] === '-') {
      while (i < sql.length && sql[i] !== '\n') i++;
      continue;
    }
    if (c === '/' && sql[i + 1] === '*') {
      const end = sql.indexOf('*/', i + 2);
      i = end < 0 ? sql.length : end + 2;
      continue;
    }
    if (c === "'" || ((c === 'N' || c === 'n') && sql[i + 1] === "'")) {
      i += c === "'" ? 1 : 2;
      while (i < sql.length) {
        if (sql[i] === "'" && sql[i + 1] === "'") i += 2;
        else if (sql[i] === "'") { i++; break; }
        else i++;
      }
      tokens.push({ kind: 'string', text: sql.slice(start, i) });
      continue;
    }
    if (c === '[' || c === '"') {
      const close = c === '[' ? ']' : '"';
      i++;
      while (i < sql.length) {
        if (sql[i] === close && sql[i + 1] === close) i += 2;
        else if (sql[i] === close) { i++; break; }
        else i++;
      }
      tokens.push({ kind: 'name', text: sql.slice(start, i) });
      continue;
    }
    if (/[0-9]/.test(c) || (c === '.' && /[0-9]/.test(sql[i + 1] ?? ''))) {
      while (i < sql.length && /[0-9.]/.test(sql[i])) i++;
      if (/[eE]/.test(sql[i] ?? '') && /[-+0-9]/.test(sql[i + 1] ?? '')) {
        i += 2;
        while (i < sql.length && /[0-9]/.test(sql[i])) i++;
      }
      tokens.push({ kind: 'number', text: sql.slice(start, i) });
      continue;
    }
    if (isWord(c)) {
      while (i < sql.length && isWord(sql[i])) i++;
      tokens.push({ kind: 'word', text: sql.slice(start, i) });
      continue;
    }
    if (c === '?') {
      tokens.push({ kind: 'marker', text: '?' });
      i++;
      continue;
    }
    const two = sql.slice(i, i + 2);
    if (['<>', '!=', '<=', '>=', '!<', '!>', '||'].includes(two)) {
      tokens.push({ kind: 'operator', text: two });
      i += 2;
      continue;
    }
    tokens.push({ kind: 'operator', text: c });
    i++;
  }
  return tokens;
}

// The statement's shape: its tokens with every literal written as "?".
export function shapeOf(tokens) {
  return tokens
    .map((t) => (t.kind === 'string' || t.kind === 'number' ? '?' : t.text))
    .join(' ');
}

// Back to text, tokens apart by blanks.
export function untokenize(tokens) {
  return tokens.map((t) => t.text).join(' ');
}

export function isWordToken(token, word) {
  return token !== undefined && token.kind === 'word' && token.text.toUpperCase() === word;
}
