// What the embedded backend and the ODBC backend on SQLite's driver share about SQLite files
// standing in for the ERP's SQL Server databases: declared column types, the checks a write
// makes, where gym databases live and how they are attached, SQL Server's transaction count kept
// over SQLite's transactions, the run locks beside the ERP file, and what the connection reports
// about itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/data/sqlite/tsql_rewriter.h"
#include "module/common/database.h"

namespace zodadovez {

// How gym databases are attached. An import only reads them, and must never change a gym's file
// (not even the query planner's statistics): read-only. Read-write is for building gym data
// through the ERP connection (test fixtures, tools).
enum class GymAccess { kReadOnly, kReadWrite };

}  // namespace zodadovez

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

// The file as a URI filename, so that options ("?mode=ro") can follow and a path holding '?' or
// '#' still names its file. SQLite reads it so when URI filenames are on (SQLITE_OPEN_URI, or
// SQLite built with SQLITE_USE_URI, as Debian's is).
std::string FileUri(const std::filesystem::path& file);

// What ATTACH DATABASE opens for a database the bridge attaches: "Palestra.db" beside the ERP
// file, or "linked/GYM_3/Palestra.db" below its folder for a linked server, as a URI
// (read-only with kReadOnly). Throws DataError naming the statement `sql`: when there is no
// such file, or when `in_transaction`. A gym database is named before the documents are
// written, by the receipt selection: one first named inside a transaction is refused rather
// than attached behind the transaction's back.
std::string AttachmentUri(const std::filesystem::path& erp_folder,
                          const bridge::Attachment& attachment, std::string_view sql,
                          GymAccess gyms, bool in_transaction);

// SQL Server's transaction statements over one SQLite connection: BEGIN TRANSACTION counts
// (@@TRANCOUNT) and only the outermost begins a SQLite transaction, COMMIT really commits at a
// count of 1, ROLLBACK without a savepoint's name rolls everything back, SAVE TRANSACTION sets a
// savepoint that ROLLBACK TRANSACTION <name> returns to. A COMMIT, ROLLBACK or SAVE with no
// transaction open is refused with SQL Server's message.
class Transactions {
 public:
  // Runs one SQLite statement on the connection ("BEGIN IMMEDIATE", "COMMIT", "ROLLBACK",
  // "ROLLBACK TO x", "SAVEPOINT x"); throws DataError when SQLite refuses it.
  using RunNative = std::function<void(const std::string& sqlite_sql)>;

  // Applies the bridge's transaction statement, `original` as the module wrote it (for
  // messages). Returns true when work may have been undone or the transaction ended: tables
  // created or altered meanwhile may be gone, and what the connection knows of them must be
  // read again. Throws DataError; the count is then as it was, unless `run` reported through
  // AfterFailure that SQLite ended the transaction.
  bool Apply(const bridge::TransactionControl& control, std::string_view original,
             const RunNative& run);

  // After a failed statement: SQLite ends the transaction itself on a few failures (a full
  // disk, an I/O error, no memory), as SQL Server does on severe ones. `autocommit` says whether
  // the connection is outside a transaction now. True when the count dropped to 0 so.
  bool AfterFailure(bool autocommit);

  // @@TRANCOUNT.
  int count() const { return count_; }

 private:
  struct Savepoint {
    std::string name;    // as the module wrote it
    std::string native;  // the SQLite savepoint that stands for it
  };
  void End();

  int count_ = 0;
  std::string name_;  // the outermost transaction's
  std::vector<Savepoint> savepoints_;
  std::uint64_t savepoints_set_ = 0;
};

// Locks (Database::AcquireLock) as advisory locks on the file "<ERP file>.<resource>.lock"
// beside the ERP file (characters other than letters, digits, '-', '_' and '.' written as %XX),
// held by this object until released or destroyed; the file stays. flock, not fcntl: a flock
// lock belongs to the open file, so that two connections of one process exclude each other too
// (fcntl locks belong to the process), and the kernel drops it when the process ends, however
// it ends.
class FileLocks {
 public:
  explicit FileLocks(std::filesystem::path erp_file) : erp_file_(std::move(erp_file)) {}

  // As Database::AcquireLock: true when taken, false when another holder kept it for `wait`.
  // Throws DataError for a bad name or a lock file that cannot be opened or locked.
  bool Acquire(std::string_view resource, std::chrono::milliseconds wait);
  // As Database::ReleaseLock: one hold fewer; nothing when not held. Never throws.
  void Release(std::string_view resource);

 private:
  // An open file descriptor, closed with the object.
  class FileHandle {
   public:
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileHandle& operator=(FileHandle&&) = delete;
    ~FileHandle();
    int get() const { return fd_; }

   private:
    int fd_;
  };
  struct Held {
    FileHandle file;
    int count = 0;
  };
  std::filesystem::path erp_file_;
  std::map<std::string, Held, std::less<>> held_;
};

}  // namespace zodadovez::sqlite
