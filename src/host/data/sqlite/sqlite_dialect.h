// What the embedded backend and the ODBC backend on SQLite's driver share about SQLite files
// standing in for the ERP's SQL Server databases: declared column types, the checks a write
// makes, where gym databases live, and what the connection reports about itself.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "host/data/sqlite/tsql_rewriter.h"
#include "module/common/database.h"

namespace zodadovez::sqlite {

// A stand-in for a stored procedure of the ERP, called by "EXEC NAME args" on a connection to
// SQLite files. It returns the procedure's rows, or a closed recordset when it returns none.
using StandInProcedure = std::function<Recordset(Database& db, const bridge::ProcedureCall& call)>;

// The server name both report, so that configurations reach gym databases by three-part names.
inline constexpr std::string_view kServerName = "EMBEDDED";

// The "DBMS Version" both report: the module reads the SQL Server major version from its first
// two characters, and the files behave as a current server does.
std::string DbmsVersion(std::string_view sqlite_version);

// What a declared column type means for the values read from and written to it.
struct DeclaredType {
  FieldType type = FieldType::kText;
  int size = 0;
  int precision = 0;
  int scale = 0;
  bool fixed_length = false;  // char(n): SQL Server pads to n blanks
  bool known = false;         // false for expressions, whose type comes from the value
};

// The type as the T-SQL DDL declared it ("decimal(18, 4)", "varchar(80)", "datetime").
DeclaredType ParseDeclaredType(std::string_view declared);

// The value as a column of the declared type stores it, with SQL Server's checks: a text longer
// than the column, a decimal beyond its precision (rounded to its scale first), a text that is
// no number or date. Throws DataError naming the table and column.
Value ValueForColumn(std::string_view table, std::string_view column, const DeclaredType& type,
                     const Value& value);

// A decimal column's value from its stored text (a REAL reads back as its 15 significant
// digits), rounded to the column's scale: exact for amounts of up to 15 significant digits.
// A text that is no number stays a text.
Value DecimalFromText(const DeclaredType& type, std::string text);

// A char(n) value padded with blanks to n characters, as SQL Server returns it.
std::string PadFixedLength(const DeclaredType& type, std::string text);

// UTF-8 characters in `text`.
std::size_t CountCharacters(std::string_view text);

// True for CREATE, DROP and ALTER: statements after which table metadata must be read again.
bool IsDefinition(std::string_view sql);

std::string AsciiLower(std::string_view text);

// The file of a database the bridge attaches: "Palestra.db" beside the ERP file, or
// "linked/GYM_3/Palestra.db" below its folder for a linked server. Throws DataError naming the
// statement `sql` and the file expected when there is none.
std::filesystem::path AttachedFile(const std::filesystem::path& erp_folder,
                                   const bridge::Attachment& attachment, std::string_view sql);

}  // namespace zodadovez::sqlite
