// The stand-in schemas read as data: tables with their columns, types and keys, and the
// parameters of stored procedures, taken from T-SQL DDL through the bridge's lexer.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zodadovez::schema {

// How a column's values compare and convert on SQL Server.
enum class ColumnKind { kText, kInteger, kBit, kDecimal, kFloat, kDate, kOther };

struct Column {
  std::string name;
  std::string type;  // the declared type in lower case: "varchar", "decimal", "datetime"
  ColumnKind kind = ColumnKind::kOther;
  int length = 0;     // characters of a text column; -1 for (max), text and ntext
  int precision = 0;  // of a decimal; 0 otherwise
  int scale = 0;
  bool nullable = true;
  bool identity = false;
  bool has_default = false;
  bool operator==(const Column&) const = default;
};

struct Table {
  std::string name;  // as declared, without schema or brackets
  std::vector<Column> columns;
  std::vector<std::string> primary_key;
  // The column of that name (ignoring case), or null.
  const Column* Find(std::string_view column) const;
};

struct Procedure {
  std::string name;
  std::vector<std::string> parameters;  // "@DITTA", in declaration order
};

// The tables and procedures of one database. Names compare ignoring case, as T-SQL compares
// them under a case-insensitive collation.
class SchemaModel {
 public:
  // Adds every CREATE TABLE and CREATE PROCEDURE of a script (batches ending at "GO" lines) and
  // the primary keys that ALTER TABLE ... ADD CONSTRAINT ... PRIMARY KEY adds; other batches
  // are skipped. Throws ConfigError naming the batch for DDL it cannot read.
  void AddScript(std::string_view script);
  // Adds the table that one CREATE TABLE statement defines (a #temporary table too, under its
  // name with the "#"), replacing one of the same name. Throws ConfigError when the statement
  // is not a CREATE TABLE it can read.
  const Table& AddTable(std::string_view create_table);
  void RemoveTable(std::string_view name);

  // The table or procedure of that name, without schema ("CG16_ANAGGEN", "#TempKit"), or null.
  const Table* FindTable(std::string_view name) const;
  Table* FindTable(std::string_view name);
  const Procedure* FindProcedure(std::string_view name) const;

  // Every table, ordered by upper-case name.
  std::vector<const Table*> tables() const;

 private:
  std::map<std::string, Table> tables_;  // by upper-case name
  std::map<std::string, Procedure> procedures_;
};

// The kind of a declared SQL Server type name (any case).
ColumnKind KindOfType(std::string_view type);
// Upper-case ASCII copy, the key under which names compare.
std::string UpperName(std::string_view name);

}  // namespace zodadovez::schema
