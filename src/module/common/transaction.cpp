#include "module/common/transaction.h"

#include <fmt/format.h>

#include "module/common/database.h"

namespace zodadovez {

Transaction::Transaction(Database& db) : db_(db) {
  const int depth = db_.transaction_depth();
  if (depth == 0) {
    db_.execute("BEGIN TRANSACTION");
  } else {
    savepoint_ = fmt::format("zdv_sp{}", depth);
    db_.execute("SAVE TRANSACTION " + savepoint_);
  }
  db_.set_transaction_depth(depth + 1);
}

Transaction::~Transaction() {
  if (done_) return;
  db_.set_transaction_depth(db_.transaction_depth() - 1);
  try {
    db_.execute(savepoint_.empty() ? std::string("ROLLBACK TRANSACTION")
                                   : "ROLLBACK TRANSACTION " + savepoint_);
  } catch (...) {
    // A connection that was lost has rolled back by itself.
  }
}

void Transaction::Commit() {
  if (savepoint_.empty()) db_.execute("COMMIT TRANSACTION");
  done_ = true;
  db_.set_transaction_depth(db_.transaction_depth() - 1);
}

}  // namespace zodadovez
