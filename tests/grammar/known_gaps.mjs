// What the independent grammar (node-sql-parser, dialect transactsql) does not know of the T-SQL
// the import sends, each with the construct and the reason. A statement the grammar refuses
// passes only when it parses after these rewrites, each of which takes out one construct and
// leaves the rest of the statement to the grammar. Batches of the schema scripts that are
// accepted whole are listed apart, with the reason.
import { isWordToken } from './tsql_tokens.mjs';

// A transaction or savepoint name: a plain or bracketed identifier.
function isName(token) {
  return token !== undefined && (token.kind === 'name' ||
                                 (token.kind === 'word' && /^[A-Za-z_#]/.test(token.text)));
}

export const statementGaps = [
  {
    construct: 'BEGIN / COMMIT / ROLLBACK / SAVE TRANSACTION',
    reason:
      'the grammar has no transaction statements (only SET TRANSACTION ISOLATION LEVEL): it ' +
      'reads BEGIN TRANSACTION as an assignment to a variable named BEGIN, and refuses a name ' +
      'after it. A statement is taken out only when it is one of SQL Server\'s forms as a ' +
      'whole: BEGIN TRAN[SACTION] [name], COMMIT | ROLLBACK [TRAN[SACTION] [name] | WORK], ' +
      'SAVE TRAN[SACTION] name',
    rewrite(tokens) {
      const word = (i, ...words) => words.some((w) => isWordToken(tokens[i], w));
      const tran = (i) => word(i, 'TRAN', 'TRANSACTION');
      const n = tokens.length;
      let whole = false;
      if (word(0, 'BEGIN')) {
        whole = tran(1) && (n === 2 || (n === 3 && isName(tokens[2])));
      } else if (word(0, 'COMMIT', 'ROLLBACK')) {
        whole = n === 1 || (n === 2 && (tran(1) || word(1, 'WORK'))) ||
                (n === 3 && tran(1) && isName(tokens[2]));
      } else if (word(0, 'SAVE')) {
        whole = n === 3 && tran(1) && isName(tokens[2]);
      }
      return whole ? [] : tokens;
    },
  },
  {
    construct: 'COLLATE <collation> after an expression',
    reason:
      'the grammar takes COLLATE only in column definitions; SQL Server accepts it after any ' +
      'character expression, and the import compares gym and ERP texts under the ERP collation',
    rewrite(tokens) {
      const out = [];
      for (let i = 0; i < tokens.length; i++) {
        if (isWordToken(tokens[i], 'COLLATE') && tokens[i + 1] !== undefined) {
          i++;
          continue;
        }
        out.push(tokens[i]);
      }
      return out;
    },
  },
  {
    construct: 'a batch that is a bare procedure call (PROC @A = 1, ...)',
    reason:
      'SQL Server runs the first statement of a batch as EXEC when it names a procedure; the ' +
      'grammar wants EXEC written',
    rewrite(tokens) {
      if (tokens.length < 2 || tokens[0].kind !== 'word' || !tokens[1].text.startsWith('@')) {
        return tokens;
      }
      return [{ kind: 'word', text: 'EXEC' }, ...tokens];
    },
  },
  {
    construct: 'EXEC with positional arguments (EXEC PROC 5)',
    reason:
      'the grammar takes only named arguments (@A = 5); the ERP\'s procedure ' +
      'SPCO_AGGIORNA_ANAG_FROM_CG16 is called with its code as the first argument',
    rewrite(tokens) {
      if (!isWordToken(tokens[0], 'EXEC') && !isWordToken(tokens[0], 'EXECUTE')) return tokens;
      const out = tokens.slice(0, 2);
      let argument = 0;
      let start = true;
      for (const token of tokens.slice(2)) {
        if (start && !token.text.startsWith('@')) {
          out.push({ kind: 'word', text: `@arg${++argument}` }, { kind: 'operator', text: '=' });
        }
        out.push(token);
        start = token.text === ',';
      }
      return out;
    },
  },
  {
    construct: 'ALTER TABLE ... WITH NOCHECK ADD CONSTRAINT',
    reason: 'the grammar has no WITH CHECK / WITH NOCHECK before ADD CONSTRAINT',
    rewrite(tokens) {
      if (!isWordToken(tokens[0], 'ALTER')) return tokens;
      return tokens.filter(
        (t, i) =>
          !(isWordToken(t, 'WITH') && isWordToken(tokens[i + 1], 'NOCHECK')) &&
          !(isWordToken(t, 'NOCHECK') && isWordToken(tokens[i - 1], 'WITH')),
      );
    },
  },
  {
    construct: 'WITH FILLFACTOR = n without parentheses',
    reason:
      'the grammar takes index options only as WITH (FILLFACTOR = n); SQL Server still reads the ' +
      'older form, which the module\'s DDL for ZEV99_RESULT uses',
    rewrite(tokens) {
      const out = [];
      for (let i = 0; i < tokens.length; i++) {
        if (isWordToken(tokens[i], 'WITH') && isWordToken(tokens[i + 1], 'FILLFACTOR')) {
          i += 3;  // WITH FILLFACTOR = n
          continue;
        }
        out.push(tokens[i]);
      }
      return out;
    },
  },
  {
    construct: 'ON <filegroup> after a constraint in ALTER TABLE',
    reason: 'the grammar places a table on a filegroup in CREATE TABLE only',
    rewrite(tokens) {
      const n = tokens.length;
      if (!isWordToken(tokens[0], 'ALTER') || n < 2 || !isWordToken(tokens[n - 2], 'ON')) {
        return tokens;
      }
      return tokens.slice(0, n - 2);
    },
  },
];

// Whole batches of the schema scripts the grammar cannot read, by the words they start with.
export const batchGaps = [
  {
    startsWith: 'CREATE PROCEDURE',
    construct: 'CREATE PROCEDURE with a BEGIN ... END body',
    reason:
      'the grammar reads a procedure body of one statement only; the stand-in procedures need ' +
      'BEGIN ... END, IF blocks, RAISERROR, RETURN and a recursive WITH before INSERT',
  },
];
