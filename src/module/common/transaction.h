// A guard that makes the statements of a scope one unit of work: all stored, or none.
#pragma once

#include <string>

#include "module/common/database.h"

namespace zodadovez {

// The outermost guard on a connection sends "BEGIN TRANSACTION", and "COMMIT TRANSACTION" or
// "ROLLBACK TRANSACTION". A guard opened while another is open on the same Database object sets
// a savepoint instead ("SAVE TRANSACTION <name>"), rolls back to it on failure ("ROLLBACK
// TRANSACTION <name>") and sends nothing on commit: its work then stands or falls with the
// enclosing transaction, and its failure never undoes the caller's work.
//
// Statements must go through the Database object the guard was given: the nesting is counted
// there, not in a decorator's inner connection. Guards end in the reverse order they began.
//
// On SQL Server a deadlock, a lost connection or a severe error ends the whole transaction
// whatever guards are open; the statement's DataError tells it. Let it reach the outermost
// guard rather than going on in the same transaction.
class Transaction {
 public:
  // Begins the transaction or sets the savepoint. Throws DataError when the database refuses.
  explicit Transaction(Database& db);
  // Rolls back unless committed. Never throws: a rollback the database refuses (the server
  // ended the transaction already, the connection is gone) is left to the server.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Makes the scope's work durable (outermost) or part of the enclosing transaction (nested).
  // Throws DataError when the database refuses the commit; the destructor then rolls back.
  // Throws Error when called twice.
  void Commit();

 private:
  Database& db_;
  int level_;              // guards open before this one on the connection: 0 is the outermost
  std::string savepoint_;  // nested guards only
  bool finished_ = false;
};

}  // namespace zodadovez
