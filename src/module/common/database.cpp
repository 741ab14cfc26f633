// Writable recordsets and the database utilities shared by the module's procedures.
#include "module/common/database.h"

#include <fmt/format.h>

#include <cctype>

#include "module/common/errors.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"

namespace zodadovez {

WritableRecordset::WritableRecordset(Database* db, std::string table, Recordset found)
    : db_(db), table_(std::move(table)), names_(found) {
  std::size_t width = fields().size();
  for (found.move_first(); !found.eof(); found.move_next()) {
    Record r;
    r.values.reserve(width);
    for (std::size_t i = 0; i < width; ++i) r.values.push_back(found.at(i));
    r.original = r.values;
    rows_.push_back(std::move(r));
  }
}

std::size_t WritableRecordset::Field(std::string_view column) const {
  int index = names_.field_index(column);
  if (index >= 0) return static_cast<std::size_t>(index);
  throw DataError(fmt::format("table {}: no column named '{}'", table_, column));
}

const Value& WritableRecordset::operator[](std::string_view column) const {
  std::size_t field = Field(column);
  if (eof()) throw DataError(fmt::format("table {}: no current record", table_));
  return rows_[position_].values[field];
}

void WritableRecordset::add_new() {
  rows_.push_back(Record{std::vector<Value>(fields().size()), {}, {}});
  position_ = rows_.size() - 1;
}

void WritableRecordset::set(std::string_view column, Value value) {
  std::size_t field = Field(column);
  if (eof()) throw DataError(fmt::format("table {}: no current record", table_));
  Record& r = rows_[position_];
  r.values[field] = std::move(value);
  for (std::size_t f : r.assigned) {
    if (f == field) return;
  }
  r.assigned.push_back(field);
}

void WritableRecordset::update_batch() {
  for (Record& r : rows_) {
    bool is_new = r.original.empty();
    if (r.assigned.empty() && !is_new) continue;
    RowWrite write;
    write.table = table_;
    for (std::size_t f : r.assigned) {
      write.columns.push_back(fields()[f].name);
      write.values.push_back(r.values[f]);
    }
    if (is_new) {
      identity_ = db_->insert_row(write);
      r.original = r.values;
    } else {
      write.original_fields = fields();
      write.original_values = r.original;
      db_->update_row(write);
      r.original = r.values;
    }
    r.assigned.clear();
  }
}

WritableRecordset Database::open_for_insert(std::string_view sql) {
  std::string table = TableOfSelect(sql);
  return WritableRecordset(this, std::move(table), open(sql));
}

namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@';
}

// Reads one name part at `i`: [bracketed], "quoted" or a plain word.
std::string NamePart(std::string_view sql, std::size_t& i) {
  if (i < sql.size() && (sql[i] == '[' || sql[i] == '"')) {
    char close = sql[i] == '[' ? ']' : '"';
    std::size_t end = sql.find(close, i + 1);
    if (end == std::string_view::npos) return {};
    std::string part(sql.substr(i + 1, end - i - 1));
    i = end + 1;
    return part;
  }
  std::size_t start = i;
  while (i < sql.size() && IsWordChar(sql[i])) ++i;
  return std::string(sql.substr(start, i - start));
}

void SkipBlanks(std::string_view sql, std::size_t& i) {
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
}

bool WordAt(std::string_view sql, std::size_t i, std::string_view word) {
  if (sql.size() - i < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (std::toupper(static_cast<unsigned char>(sql[i + k])) != word[k]) return false;
  }
  return i + word.size() == sql.size() || !IsWordChar(sql[i + word.size()]);
}

}  // namespace

std::string TableOfSelect(std::string_view sql) {
  auto fail = [&](std::string_view why) -> std::string {
    throw DataError(fmt::format("writable recordset on \"{}\": {}", sql, why));
  };
  // Find FROM at nesting depth 0, outside strings and bracketed names.
  int depth = 0;
  std::size_t i = 0;
  std::size_t from = std::string_view::npos;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'') {
      std::size_t end = sql.find('\'', i + 1);
      while (end != std::string_view::npos && end + 1 < sql.size() && sql[end + 1] == '\'') {
        end = sql.find('\'', end + 2);
      }
      if (end == std::string_view::npos) return fail("unterminated string");
      i = end + 1;
    } else if (c == '[') {
      std::size_t end = sql.find(']', i + 1);
      if (end == std::string_view::npos) return fail("unterminated name");
      i = end + 1;
    } else if (c == '(' || c == ')') {
      depth += c == '(' ? 1 : -1;
      ++i;
    } else if (IsWordChar(c)) {
      if (depth == 0 && (i == 0 || !IsWordChar(sql[i - 1])) && WordAt(sql, i, "FROM")) {
        from = i + 4;
        break;
      }
      ++i;
    } else {
      ++i;
    }
  }
  if (from == std::string_view::npos) return fail("no FROM clause");
  i = from;
  SkipBlanks(sql, i);
  std::string name = NamePart(sql, i);
  while (i < sql.size() && sql[i] == '.') {
    ++i;
    std::string part = NamePart(sql, i);
    if (!part.empty()) name = std::move(part);  // "db..T" has an empty schema part
  }
  if (name.empty()) return fail("no table after FROM");
  SkipBlanks(sql, i);
  if (WordAt(sql, i, "WITH")) {
    std::size_t close = sql.find(')', i);
    if (close == std::string_view::npos) return fail("unterminated table hint");
    i = close + 1;
    SkipBlanks(sql, i);
  }
  if (i < sql.size() && (sql[i] == ',' || WordAt(sql, i, "JOIN") || WordAt(sql, i, "INNER") ||
                         WordAt(sql, i, "LEFT") || WordAt(sql, i, "RIGHT") ||
                         WordAt(sql, i, "CROSS") || WordAt(sql, i, "FULL"))) {
    return fail("it reads more than one table");
  }
  return name;
}

bool EsisteTabella(Database& db, std::string_view name, std::string_view kind) {
  std::string sql =
      kind == "T" ? fmt::format(
                        "SELECT 1 FROM sysobjects WHERE id = object_id(N'[dbo].[{}]') and "
                        "objectproperty(id, N'IsUserTable') = 1",
                        SqlEscape(name))
                  : fmt::format("SELECT 1 FROM sysobjects WHERE id = object_id(N'[dbo].[{}]')",
                                SqlEscape(name));
  Recordset rs = db.open(sql);
  bool found = !rs.eof();
  rs.close();
  return found;
}

std::optional<Recordset> CreaRecordSetAttivo(Recordset& source) {
  if (!source.is_open()) return std::nullopt;
  Recordset copy(source.fields(), {});
  if (source.record_count() > 0) {
    for (source.move_first(); !source.eof(); source.move_next()) {
      copy.add_new();
      for (std::size_t i = 0; i < source.fields().size(); ++i) {
        copy.set(source.fields()[i].name, source.at(i));
      }
    }
  }
  return copy;
}

}  // namespace zodadovez
