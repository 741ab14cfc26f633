// A transaction on a connection, as T-SQL text so that it means the same on every backend. The
// outermost one begins and commits; one opened inside it is a savepoint, so that its failure
// never undoes the caller's work (on SQL Server a plain ROLLBACK would end every level).
#pragma once

#include <string>

namespace zodadovez {

class Database;

class Transaction {
 public:
  // Begins the transaction (or the savepoint). Throws DataError when the database refuses.
  explicit Transaction(Database& db);
  // Rolls back unless committed; never throws.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Makes the work lasting (the outermost) or part of the caller's (a savepoint). Throws
  // DataError when the database refuses; the destructor then rolls back.
  void Commit();

 private:
  Database& db_;
  std::string savepoint_;  // empty for the outermost
  bool done_ = false;
};

}  // namespace zodadovez
