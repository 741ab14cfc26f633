// The data-access interface the module speaks: statements as T-SQL text, disconnected
// recordsets, and writable recordsets that the backend turns into parameterised writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "module/common/value.h"

namespace zodadovez {

enum class FieldType { kBool, kInteger, kDecimal, kDouble, kText, kDate, kBinary };

struct FieldInfo {
  std::string name;
  FieldType type = FieldType::kText;
  int size = 0;       // defined size of a text column (0: unlimited or not a text)
  int precision = 0;  // decimal precision (0: not a decimal)
  int scale = 0;      // decimal scale
};

// A disconnected set of rows with a cursor, after the platform's client-side recordsets:
// fields by name (case-insensitive), a filter and a sort that only change what the cursor
// visits, clones that share the rows, and in-memory additions and changes.
class Recordset {
 public:
  Recordset();  // closed
  Recordset(std::vector<FieldInfo> fields, std::vector<std::vector<Value>> rows);

  bool is_open() const { return open_; }
  void close();
  const std::vector<FieldInfo>& fields() const;
  // The index of the named field, or -1.
  int field_index(std::string_view name) const;

  bool eof() const;
  bool bof() const;
  void move_first();
  void move_next();
  void move_last();
  // Rows the cursor visits (those that pass the filter).
  std::size_t record_count() const;

  // The named field of the current row. Throws DataError for an unknown name or no current row.
  const Value& operator[](std::string_view name) const;
  const Value& at(std::size_t field) const;
  // Changes the current row in memory only.
  void set(std::string_view name, Value value);
  // Appends a row (every field Empty) and makes it current.
  void add_new();

  // Keeps the rows that satisfy `criteria`: comparisons `<field> <op> <literal>` with the ops
  // = <> < > <= >= and LIKE ('*' or '%' wildcards), literals 'text', numbers, NULL and #yyyy-mm-dd#,
  // joined by AND and OR. An empty text removes the filter. Text compares case-insensitively
  // ignoring trailing blanks, as the database does. Throws DataError for a malformed criteria.
  void filter(std::string_view criteria);
  // Orders the cursor by "<field> [ASC|DESC], ..."; an empty text restores the read order.
  void sort(std::string_view order);
  // A second cursor on the same rows (changes show through both), with no filter, at the first.
  Recordset clone() const;

 private:
  struct Data;
  std::shared_ptr<Data> data_;
  std::vector<std::size_t> view_;  // row indexes the cursor visits, in order
  std::size_t position_ = 0;       // index into view_
  std::string filter_;
  std::string sort_;
  bool open_ = false;

  void Rebuild();
  const std::vector<Value>& Current() const;
};

// One row write behind a writable recordset, as the backend receives it.
struct RowWrite {
  std::string table;
  std::vector<std::string> columns;  // the columns assigned, in assignment order
  std::vector<Value> values;
  // For an update: the row as it was read, to find it again by primary key.
  std::vector<FieldInfo> original_fields;
  std::vector<Value> original_values;
};

class Database;

// A recordset opened for writing on "SELECT ... FROM <table> ... WHERE <key or 1 = 0>".
// Holds the rows found (none or the key's row); records are added or changed column by column,
// and update_batch() writes them, each as one parameterised INSERT or UPDATE.
class WritableRecordset {
 public:
  WritableRecordset(Database* db, std::string table, Recordset found);

  bool eof() const { return position_ >= rows_.size(); }
  std::size_t record_count() const { return rows_.size(); }
  // A column of the current record. Throws DataError for an unknown column or no record.
  const Value& operator[](std::string_view column) const;
  // Appends a record with every column Empty (left out of the INSERT) and makes it current.
  void add_new();
  // Assigns a column of the current record. Throws DataError for a column the table lacks.
  void set(std::string_view column, Value value);
  // Writes every added or changed record, in order. Throws DataError when the database refuses;
  // the records written before the failure stay written.
  void update_batch();
  // The identity value the database gave the last inserted record, when the table has one.
  std::optional<std::int64_t> identity() const { return identity_; }
  const std::string& table() const { return table_; }

 private:
  struct Record {
    std::vector<Value> values;
    std::vector<Value> original;       // as read; empty for an added record
    std::vector<std::size_t> assigned;  // fields assigned since the last update_batch
  };
  std::size_t Field(std::string_view column) const;
  const std::vector<FieldInfo>& fields() const { return names_.fields(); }

  Database* db_;
  std::string table_;
  Recordset names_;  // the rows as found: its fields, and their index for column lookups
  std::vector<Record> rows_;
  std::size_t position_ = 0;
  std::optional<std::int64_t> identity_;
};

// One connection to the ERP database. Every statement commits by itself, except inside a
// Transaction (module/common/transaction.h). Errors throw DataError with the database's message
// and the statement.
class Database {
 public:
  virtual ~Database() = default;

  // A statement that returns no rows (UPDATE, DELETE, DDL, EXEC). Returns the rows affected.
  virtual std::int64_t execute(std::string_view sql) = 0;
  // A query; all rows are read into a disconnected recordset.
  virtual Recordset open(std::string_view sql) = 0;
  // A writable recordset on a SELECT from one table (see WritableRecordset).
  WritableRecordset open_for_insert(std::string_view sql);

  // The server name and the "DBMS Version" the connection reports.
  virtual std::string server_name() = 0;
  virtual std::string dbms_version() = 0;
  // A date as text the database reads unambiguously between single quotes.
  virtual std::string date_text(DateTime value) const = 0;

  // The writes behind WritableRecordset::update_batch, parameterised, prepared once per table
  // and column set. insert_row returns the identity value when the table has an identity.
  virtual std::optional<std::int64_t> insert_row(const RowWrite& write) = 0;
  // Updates by the table's primary key; returns the rows affected.
  virtual std::int64_t update_row(const RowWrite& write) = 0;

  // Takes the exclusive lock named `resource` for this connection, waiting up to `wait` for
  // another holder to let go (0: not at all). True when taken; false when another connection,
  // of this process or another, holds it still. A connection that takes a lock it holds holds it
  // once more and releases it as often. The lock goes with the connection, and with the process
  // however it ends. Throws DataError when the database cannot be asked.
  virtual bool AcquireLock(std::string_view resource, std::chrono::milliseconds wait) = 0;
  // Lets go of one hold of `resource`; nothing when this connection does not hold it. Never
  // throws: a lock that cannot be released now goes with the connection.
  virtual void ReleaseLock(std::string_view resource) = 0;

  // The Transaction guards open on this connection object, outermost first.
  int open_transactions() const { return open_transactions_; }

 private:
  friend class Transaction;
  int open_transactions_ = 0;
};

// The table a single-table SELECT reads: the name after FROM without its schema, brackets or
// hints ("SELECT * FROM [dbo].[CG16_ANAGGEN] WITH (NOLOCK) WHERE 1 = 0" gives CG16_ANAGGEN).
// Throws DataError when the statement names no single table.
std::string TableOfSelect(std::string_view sql);

// True when the table (kind "T") or any object (other kinds) exists in the ERP database's dbo
// schema. Errors propagate to the caller, which reports them.
bool EsisteTabella(Database& db, std::string_view name, std::string_view kind);

// A detached, updatable copy of an open recordset (same fields, every row), positioned on the
// last row copied; nothing for a closed one. The source is left at its end.
std::optional<Recordset> CreaRecordSetAttivo(Recordset& source);

}  // namespace zodadovez
