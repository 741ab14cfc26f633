// The embedded backend: SQLite files standing in for the ERP's and the gym's SQL Server
// databases, with the module's T-SQL translated by the bridge.
#include "host/data/sqlite/sqlite_database.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <list>
#include <set>
#include <unordered_map>
#include <utility>

#include "host/data/sqlite/sqlite_dialect.h"
#include "host/data/sqlite/sqlite_functions.h"
#include "module/common/errors.h"
#include "module/common/text_compare.h"

namespace zodadovez {
namespace {

using sqlite::CountCharacters;
using sqlite::DeclaredType;
using sqlite::IsDefinition;
using sqlite::ParseDeclaredType;

// A declared type as SQLite gives it: none for an expression.
std::string_view Declared(const char* decl) { return decl == nullptr ? std::string_view() : decl; }

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using ConnectionPtr = std::unique_ptr<sqlite3, ConnectionCloser>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

Value ReadColumn(sqlite3_stmt* stmt, int col, const DeclaredType& t) {
  int storage = sqlite3_column_type(stmt, col);
  if (storage == SQLITE_NULL) return Value(Null{});
  auto text = [&] {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
    return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, col)));
  };
  if (!t.known) {
    switch (storage) {
      case SQLITE_INTEGER:
        return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, col)));
      case SQLITE_FLOAT:
        return Value(sqlite3_column_double(stmt, col));
      default:
        return Value(text());
    }
  }
  switch (t.type) {
    case FieldType::kDecimal: {
      // A REAL holds the amount; rounding to the declared scale gives back the exact decimal for
      // amounts of up to 15 significant digits.
      Decimal d;
      if (storage == SQLITE_INTEGER) {
        d = Decimal(static_cast<std::int64_t>(sqlite3_column_int64(stmt, col)));
      } else if (storage == SQLITE_FLOAT) {
        d = Decimal::FromDouble(sqlite3_column_double(stmt, col));
      } else if (!Decimal::TryParse(text(), &d)) {
        return Value(text());
      }
      return Value(d.Round(t.scale).Rescale(t.scale));
    }
    case FieldType::kInteger:
      if (storage == SQLITE_INTEGER) {
        return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, col)));
      }
      if (storage == SQLITE_FLOAT)
        return Value(Decimal::FromDouble(sqlite3_column_double(stmt, col)).ToInt64());
      return Value(text());
    case FieldType::kBool:
      return Value(sqlite3_column_int64(stmt, col) != 0);
    case FieldType::kDouble:
      return Value(sqlite3_column_double(stmt, col));
    case FieldType::kDate: {
      DateTime dt;
      std::string s = text();
      if (TryParseIsoDate(s, &dt)) return Value(dt);
      return Value(std::move(s));
    }
    case FieldType::kText: {
      std::string s = text();
      if (t.fixed_length) {
        std::size_t n = CountCharacters(s);
        if (n < static_cast<std::size_t>(t.size))
          s.append(static_cast<std::size_t>(t.size) - n, ' ');
      }
      return Value(std::move(s));
    }
    case FieldType::kBinary:
      return Value(text());
  }
  return Value(text());
}

// One column of a table, as the writes need it.
struct ColumnInfo {
  std::string name;
  DeclaredType type;
  bool primary_key = false;
};

struct TableInfo {
  std::string name;
  std::vector<ColumnInfo> columns;
  std::vector<std::size_t> key;  // indexes into columns, in key order
  bool has_identity = false;
  std::unordered_map<std::string, std::size_t, NameHash, NameEqual> by_name;
  const ColumnInfo* Find(std::string_view column) const {
    auto it = by_name.find(column);
    return it == by_name.end() ? nullptr : &columns[it->second];
  }
};

}  // namespace

struct SqliteDatabase::Impl {
  ConnectionPtr db;
  std::filesystem::path folder;
  GymAccess gyms = GymAccess::kReadOnly;
  bridge::Translator translator;
  std::unordered_map<std::string, StatementPtr> statements;              // prepared, by SQLite text
  std::unordered_map<std::string, TableInfo> tables;                     // by folded name
  std::set<std::string> attached;                                        // folded aliases
  std::unordered_map<std::string, sqlite::StandInProcedure> procedures;  // by folded name

  sqlite::Transactions transactions;  // SQL Server's, over SQLite's
  sqlite::FileLocks locks;

  explicit Impl(const std::filesystem::path& erp_file) : locks(erp_file) {}

  [[noreturn]] void Fail(std::string_view what, std::string_view sql) const {
    throw DataError(
        fmt::format("while executing \"{}\": {}: {}", sql, what, sqlite3_errmsg(db.get())));
  }

  // The tables grow during an import (customers, articles, documents): every so many
  // statements the planner's statistics are refreshed, so that a lookup by an indexed column
  // does not turn into a scan of a table that was small when the run began. Only the ERP
  // file's: a gym database is only read. Not inside a transaction, whose rollback would take
  // them back: the refresh waits for its end.
  void RefreshStatistics() {
    if (++statements_run < next_refresh || !sqlite3_get_autocommit(db.get())) return;
    next_refresh = statements_run + kStatisticsInterval;
    sqlite3_exec(db.get(), "PRAGMA analysis_limit=400; PRAGMA main.optimize;", nullptr, nullptr,
                 nullptr);
  }
  static constexpr std::uint64_t kStatisticsInterval = 5000;
  std::uint64_t statements_run = 0;
  std::uint64_t next_refresh = kStatisticsInterval;

  // Runs SQLite SQL without the bridge or the statement cache; errors name `original`.
  void Native(const std::string& sql, std::string_view original) {
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      std::string message = sqlite3_errmsg(db.get());
      AfterFailure();
      throw DataError(fmt::format("while executing \"{}\": {}", original, message));
    }
  }

  // The count follows a transaction that SQLite ended by itself on a failure.
  void AfterFailure() {
    if (transactions.AfterFailure(sqlite3_get_autocommit(db.get()) != 0)) tables.clear();
  }

  void Transact(const bridge::TransactionControl& control, std::string_view original) {
    auto run = [&](const std::string& sql) { Native(sql, original); };
    // A table created or altered inside work that was undone may be gone.
    if (transactions.Apply(control, original, run)) tables.clear();
  }

  sqlite3_stmt* Prepare(const std::string& sql, std::string_view original) {
    RefreshStatistics();
    auto it = statements.find(sql);
    if (it != statements.end()) {
      sqlite3_reset(it->second.get());
      sqlite3_clear_bindings(it->second.get());
      return it->second.get();
    }
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    StatementPtr stmt(raw);
    if (rc != SQLITE_OK) Fail("the statement was refused", original);
    // Statements of one shape come back with other values: keep them prepared. The cache is
    // bounded so that a run composing ever new texts does not grow without end.
    if (statements.size() >= 512) statements.clear();
    return statements.emplace(sql, std::move(stmt)).first->second.get();
  }

  void Bind(sqlite3_stmt* stmt, int index, const Value& v, std::string_view original) {
    int rc = SQLITE_OK;
    switch (v.kind()) {
      case ValueKind::kEmpty:
      case ValueKind::kNull:
        rc = sqlite3_bind_null(stmt, index);
        break;
      case ValueKind::kBool:
        rc = sqlite3_bind_int(stmt, index, v.as_bool() ? 1 : 0);
        break;
      case ValueKind::kInteger:
        rc = sqlite3_bind_int64(stmt, index, v.as_integer());
        break;
      case ValueKind::kDecimal: {
        const Decimal& d = v.as_decimal();
        if (d.scale() == 0 && d.mantissa() <= INT64_MAX && d.mantissa() >= INT64_MIN) {
          rc = sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(d.mantissa()));
        } else {
          rc = sqlite3_bind_double(stmt, index, d.ToDouble());
        }
        break;
      }
      case ValueKind::kDouble:
        rc = sqlite3_bind_double(stmt, index, v.as_double());
        break;
      case ValueKind::kText:
        rc = sqlite3_bind_text(stmt, index, v.as_text().data(),
                               static_cast<int>(v.as_text().size()), SQLITE_TRANSIENT);
        break;
      case ValueKind::kDate: {
        std::string s = FormatIsoDate(v.as_date());
        rc = sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        break;
      }
    }
    if (rc != SQLITE_OK) Fail(fmt::format("binding parameter {}", index), original);
  }

  void BindAll(sqlite3_stmt* stmt, const std::vector<Value>& params, std::string_view original) {
    int count = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= count; ++i) {
      // ?NNN parameters: the name says which lifted literal it stands for.
      const char* name = sqlite3_bind_parameter_name(stmt, i);
      std::size_t which = name != nullptr ? static_cast<std::size_t>(std::atoi(name + 1))
                                          : static_cast<std::size_t>(i);
      if (which == 0 || which > params.size()) {
        throw DataError(
            fmt::format("while executing \"{}\": parameter {} has no value", original, i));
      }
      Bind(stmt, i, params[which - 1], original);
    }
  }

  // Runs a statement to its end; returns the rows it changed.
  std::int64_t Run(const std::string& sql, const std::vector<Value>& params,
                   std::string_view original) {
    sqlite3_stmt* stmt = Prepare(sql, original);
    BindAll(stmt, params, original);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
      std::string message = sqlite3_errmsg(db.get());
      sqlite3_reset(stmt);
      AfterFailure();
      throw DataError(fmt::format("while executing \"{}\": {}", original, message));
    }
    bool changes_rows = sqlite3_stmt_readonly(stmt) == 0 && sqlite3_column_count(stmt) == 0;
    std::int64_t changed = changes_rows ? sqlite3_changes64(db.get()) : 0;
    sqlite3_reset(stmt);
    return changed;
  }

  Recordset Query(const std::string& sql, const std::vector<Value>& params,
                  std::string_view original) {
    sqlite3_stmt* stmt = Prepare(sql, original);
    BindAll(stmt, params, original);
    int columns = sqlite3_column_count(stmt);
    std::vector<DeclaredType> types(static_cast<std::size_t>(columns));
    std::vector<FieldInfo> fields(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      auto& t = types[static_cast<std::size_t>(c)];
      t = ParseDeclaredType(Declared(sqlite3_column_decltype(stmt, c)));
      auto& f = fields[static_cast<std::size_t>(c)];
      f.name = sqlite3_column_name(stmt, c);
      f.type = t.type;
      f.size = t.size;
      f.precision = t.precision;
      f.scale = t.scale;
    }
    std::vector<std::vector<Value>> rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::vector<Value> row;
      row.reserve(static_cast<std::size_t>(columns));
      for (int c = 0; c < columns; ++c) {
        if (rows.empty() && !types[static_cast<std::size_t>(c)].known) {
          // An expression: its field type is that of its first value.
          switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
              fields[static_cast<std::size_t>(c)].type = FieldType::kInteger;
              break;
            case SQLITE_FLOAT:
              fields[static_cast<std::size_t>(c)].type = FieldType::kDouble;
              break;
            default:
              break;
          }
        }
        row.push_back(ReadColumn(stmt, c, types[static_cast<std::size_t>(c)]));
      }
      rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
      std::string message = sqlite3_errmsg(db.get());
      sqlite3_reset(stmt);
      AfterFailure();
      throw DataError(fmt::format("while executing \"{}\": {}", original, message));
    }
    sqlite3_reset(stmt);
    if (columns == 0) return Recordset();  // a statement that returns no rows: a closed set
    return Recordset(std::move(fields), std::move(rows));
  }

  void Attach(const bridge::Attachment& a, std::string_view original) {
    std::string key = FoldCase(a.alias);
    if (attached.count(key) != 0) return;
    const std::string uri =
        sqlite::AttachmentUri(folder, a, original, gyms, !sqlite3_get_autocommit(db.get()));
    std::string sql = fmt::format("ATTACH DATABASE ?1 AS {}", QuoteName(a.alias));
    Run(sql, {Value(uri)}, original);
    attached.insert(key);
  }

  void SelectInto(const bridge::Translation& t, std::string_view original) {
    sqlite3_stmt* stmt = Prepare(t.select_sql, original);
    int columns = sqlite3_column_count(stmt);
    std::string ddl = fmt::format("CREATE TABLE {} (", t.temp_table);
    for (int c = 0; c < columns; ++c) {
      const char* decl = sqlite3_column_decltype(stmt, c);
      DeclaredType type = ParseDeclaredType(Declared(decl));
      ddl += fmt::format("{}{}", c == 0 ? "" : ", ", QuoteName(sqlite3_column_name(stmt, c)));
      if (decl != nullptr && *decl != '\0') ddl += fmt::format(" {}", decl);
      // Text columns, and expressions that may hold text, compare as the ERP does.
      if (!type.known || type.type == FieldType::kText) {
        ddl += fmt::format(" COLLATE {}", bridge::kCollation);
      }
    }
    ddl += ")";
    sqlite3_reset(stmt);
    Run(ddl, {}, original);
    Run(fmt::format("INSERT INTO {} {}", t.temp_table, t.select_sql), t.parameters, original);
  }

  const TableInfo& Table(const std::string& name, std::string_view original) {
    std::string key = FoldCase(name);
    if (auto it = tables.find(key); it != tables.end()) return it->second;
    TableInfo info;
    info.name = name;
    sqlite3_stmt* raw = nullptr;
    std::string sql = fmt::format("PRAGMA table_info({})", QuoteName(name));
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      Fail("reading the table's columns", original);
    }
    StatementPtr stmt(raw);
    std::vector<std::pair<int, std::size_t>> key_order;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
      ColumnInfo c;
      c.name = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1));
      const char* decl = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 2));
      c.type = ParseDeclaredType(Declared(decl));
      int pk = sqlite3_column_int(stmt.get(), 5);
      c.primary_key = pk > 0;
      if (pk > 0) key_order.emplace_back(pk, info.columns.size());
      if (pk > 0 && decl != nullptr && sqlite::AsciiLower(decl) == "integer")
        info.has_identity = true;
      info.by_name.emplace(c.name, info.columns.size());
      info.columns.push_back(std::move(c));
    }
    if (info.columns.empty()) {
      throw DataError(fmt::format("while executing \"{}\": no table named '{}'", original, name));
    }
    std::sort(key_order.begin(), key_order.end());
    for (auto& [order, index] : key_order) info.key.push_back(index);
    if (info.key.size() != 1) info.has_identity = false;
    return tables.emplace(key, std::move(info)).first->second;
  }

  Value ForColumn(const TableInfo& table, const ColumnInfo& column, const Value& v) {
    return sqlite::ValueForColumn(table.name, column.name, column.type, v);
  }
};

SqliteDatabase::SqliteDatabase(const std::filesystem::path& erp_file, bool create, GymAccess gyms)
    : impl_(std::make_unique<Impl>(erp_file)), erp_file_(erp_file) {
  if (!create && !std::filesystem::exists(erp_file)) {
    throw ConfigError(fmt::format("ERP database file not found: {}", erp_file.string()));
  }
  impl_->folder = erp_file.parent_path();
  impl_->gyms = gyms;
  sqlite3* raw = nullptr;
  // URI filenames, so that gym databases can be attached read-only.
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(sqlite::FileUri(erp_file).c_str(), &raw, flags, nullptr);
  impl_->db.reset(raw);  // stored before the check, so that a failed open is closed too
  if (rc != SQLITE_OK) {
    throw ConfigError(fmt::format("cannot open the ERP database {}: {}", erp_file.string(),
                                  raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, 5000);
  // Text compares and folds as on the ERP's SQL Server (the same code the ODBC driver loads).
  if (RegisterSqlServerText(raw) != SQLITE_OK) {
    throw ConfigError(fmt::format("cannot register the text collation on {}: {}", erp_file.string(),
                                  sqlite3_errmsg(raw)));
  }
  // A commit, of a statement or a transaction, costs no flush to disk with WAL and
  // synchronous=NORMAL, and a crash still leaves every transaction whole or absent. The ERP
  // file's only: without "main." the journal mode would also become the default of every
  // database attached later.
  ExecuteNative(
      "PRAGMA main.journal_mode=WAL; PRAGMA main.synchronous=NORMAL; PRAGMA temp_store=MEMORY;");
  // Statistics of tables that changed since the last connection (the query planner's advice).
  sqlite3_exec(raw, "PRAGMA analysis_limit=400; PRAGMA main.optimize=0x10002;", nullptr, nullptr,
               nullptr);
}

SqliteDatabase::~SqliteDatabase() = default;

void SqliteDatabase::ExecuteNative(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(impl_->db.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw DataError(fmt::format("while executing \"{}\": {}", sql, message));
  }
}

std::int64_t SqliteDatabase::execute(std::string_view sql) {
  bridge::Translation t = impl_->translator.Translate(sql);
  for (const auto& a : t.attachments) impl_->Attach(a, sql);
  switch (t.kind) {
    case bridge::Translation::Kind::kStatements: {
      std::int64_t changed = 0;
      for (const auto& s : t.statements) changed += impl_->Run(s, t.parameters, sql);
      // A table may have been created, dropped or altered: read its columns again when next
      // written.
      if (IsDefinition(t.statements.front())) impl_->tables.clear();
      return changed;
    }
    case bridge::Translation::Kind::kSelectInto:
      impl_->SelectInto(t, sql);
      return sqlite3_changes64(impl_->db.get());
    case bridge::Translation::Kind::kProcedure: {
      auto it = impl_->procedures.find(FoldCase(t.procedure.name));
      if (it == impl_->procedures.end()) {
        throw DataError(fmt::format("while executing \"{}\": Could not find stored procedure '{}'.",
                                    sql, t.procedure.name));
      }
      it->second(*this, t.procedure);
      return 0;
    }
    case bridge::Translation::Kind::kTransaction:
      impl_->Transact(t.transaction, sql);
      return 0;
    case bridge::Translation::Kind::kNothing:
      return 0;
  }
  return 0;
}

Recordset SqliteDatabase::open(std::string_view sql) {
  bridge::Translation t = impl_->translator.Translate(sql);
  if (t.kind == bridge::Translation::Kind::kProcedure) {
    auto it = impl_->procedures.find(FoldCase(t.procedure.name));
    if (it == impl_->procedures.end()) {
      throw DataError(fmt::format("while executing \"{}\": Could not find stored procedure '{}'.",
                                  sql, t.procedure.name));
    }
    return it->second(*this, t.procedure);
  }
  if (t.kind != bridge::Translation::Kind::kStatements || t.statements.empty()) {
    execute(sql);
    return Recordset();
  }
  for (const auto& a : t.attachments) impl_->Attach(a, sql);
  for (std::size_t i = 0; i + 1 < t.statements.size(); ++i)
    impl_->Run(t.statements[i], t.parameters, sql);
  return impl_->Query(t.statements.back(), t.parameters, sql);
}

std::string SqliteDatabase::server_name() { return std::string(sqlite::kServerName); }

std::string SqliteDatabase::dbms_version() {
  // The module reads the SQL Server major version from the first two characters; the embedded
  // backend behaves as a current server does.
  return sqlite::DbmsVersion(sqlite3_libversion());
}

std::string SqliteDatabase::date_text(DateTime value) const { return FormatIsoDate(value); }

std::optional<std::int64_t> SqliteDatabase::insert_row(const RowWrite& write) {
  const TableInfo& table = impl_->Table(write.table, write.table);
  std::string columns;
  std::string marks;
  std::vector<Value> values;
  for (std::size_t i = 0; i < write.columns.size(); ++i) {
    const ColumnInfo* column = table.Find(write.columns[i]);
    if (column == nullptr) {
      throw DataError(fmt::format("table '{}' has no column '{}'", table.name, write.columns[i]));
    }
    columns += fmt::format("{}{}", i == 0 ? "" : ", ", QuoteName(column->name));
    marks += fmt::format("{}?{}", i == 0 ? "" : ", ", i + 1);
    values.push_back(impl_->ForColumn(table, *column, write.values[i]));
  }
  std::string sql =
      write.columns.empty()
          ? fmt::format("INSERT INTO {} DEFAULT VALUES", QuoteName(table.name))
          : fmt::format("INSERT INTO {} ({}) VALUES ({})", QuoteName(table.name), columns, marks);
  impl_->Run(sql, values, sql);
  if (!table.has_identity) return std::nullopt;
  return sqlite3_last_insert_rowid(impl_->db.get());
}

std::int64_t SqliteDatabase::update_row(const RowWrite& write) {
  const TableInfo& table = impl_->Table(write.table, write.table);
  if (table.key.empty()) {
    throw DataError(
        fmt::format("table '{}' has no primary key: its rows cannot be updated", table.name));
  }
  std::string sets;
  std::vector<Value> values;
  for (std::size_t i = 0; i < write.columns.size(); ++i) {
    const ColumnInfo* column = table.Find(write.columns[i]);
    if (column == nullptr) {
      throw DataError(fmt::format("table '{}' has no column '{}'", table.name, write.columns[i]));
    }
    values.push_back(impl_->ForColumn(table, *column, write.values[i]));
    sets += fmt::format("{}{} = ?{}", i == 0 ? "" : ", ", QuoteName(column->name), values.size());
  }
  std::string where;
  for (std::size_t k : table.key) {
    const ColumnInfo& column = table.columns[k];
    std::size_t field = write.original_fields.size();
    for (std::size_t f = 0; f < write.original_fields.size(); ++f) {
      if (TextEquals(write.original_fields[f].name, column.name)) field = f;
    }
    if (field == write.original_fields.size()) {
      throw DataError(
          fmt::format("table '{}': the key column '{}' was not read, so the row "
                      "cannot be found again",
                      table.name, column.name));
    }
    values.push_back(impl_->ForColumn(table, column, write.original_values[field]));
    where += fmt::format("{}{} = ?{}", where.empty() ? "" : " AND ", QuoteName(column.name),
                         values.size());
  }
  if (sets.empty()) return 0;
  std::string sql = fmt::format("UPDATE {} SET {} WHERE {}", QuoteName(table.name), sets, where);
  return impl_->Run(sql, values, sql);
}

bool SqliteDatabase::AcquireLock(std::string_view resource, std::chrono::milliseconds wait) {
  return impl_->locks.Acquire(resource, wait);
}

void SqliteDatabase::ReleaseLock(std::string_view resource) { impl_->locks.Release(resource); }

std::vector<std::string> SqliteDatabase::PrimaryKey(const std::string& table) {
  const TableInfo& info = impl_->Table(table, table);
  std::vector<std::string> key;
  for (std::size_t k : info.key) key.push_back(info.columns[k].name);
  return key;
}

void SqliteDatabase::RegisterProcedure(const std::string& name,
                                       sqlite::StandInProcedure procedure) {
  impl_->procedures[FoldCase(name)] = std::move(procedure);
}

std::string SqliteDatabase::ShowTranslation(std::string_view tsql) {
  bridge::Translation t = impl_->translator.Translate(tsql);
  std::string out;
  switch (t.kind) {
    case bridge::Translation::Kind::kStatements:
      for (const auto& s : t.statements) out += s + ";\n";
      break;
    case bridge::Translation::Kind::kSelectInto:
      out = fmt::format("CREATE TABLE {} (<the columns of the SELECT>);\nINSERT INTO {} {};\n",
                        t.temp_table, t.temp_table, t.select_sql);
      break;
    case bridge::Translation::Kind::kProcedure:
      out = fmt::format("-- stand-in procedure {}\n", t.procedure.name);
      break;
    case bridge::Translation::Kind::kTransaction:
      out =
          "-- transaction control: BEGIN IMMEDIATE, COMMIT, ROLLBACK [TO] or SAVEPOINT, as the "
          "transactions open on the connection ask\n";
      break;
    case bridge::Translation::Kind::kNothing:
      out = "-- nothing to do\n";
      break;
  }
  for (std::size_t i = 0; i < t.parameters.size(); ++i) {
    out += fmt::format("-- ?{} = {}\n", i + 1, t.parameters[i].Describe());
  }
  return out;
}

}  // namespace zodadovez
