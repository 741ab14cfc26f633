#include "module/common/transaction.h"

#include <fmt/format.h>

#include "module/common/errors.h"

namespace zodadovez {

Transaction::Transaction(Database& db) : db_(db), level_(db.open_transactions_) {
  if (level_ == 0) {
    db_.execute("BEGIN TRANSACTION");
  } else {
    // A savepoint name per nesting level: SQL Server allows a name to repeat and rolls back to
    // the latest savepoint of that name, which is always this guard's while it is open.
    savepoint_ = fmt::format("ZODADOVEZ_{}", level_);
    db_.execute("SAVE TRANSACTION " + savepoint_);
  }
  db_.open_transactions_ = level_ + 1;
}

Transaction::~Transaction() {
  if (!finished_) {
    try {
      db_.execute(level_ == 0 ? std::string("ROLLBACK TRANSACTION")
                              : "ROLLBACK TRANSACTION " + savepoint_);
    } catch (...) {
      // Never from a destructor. When the server has ended the transaction itself there is
      // nothing left to roll back; when the connection is gone the server rolls back.
    }
  }
  db_.open_transactions_ = level_;
}

void Transaction::Commit() {
  if (finished_) throw Error("transaction: committed already");
  // A nested guard's work is kept by the enclosing transaction: a savepoint is never released.
  if (level_ == 0) db_.execute("COMMIT TRANSACTION");
  finished_ = true;
}

}  // namespace zodadovez
