// The stand-in host's progressive service and customer/supplier numbering over CG26_PROGANAG.
#include "host/erp/numbering.h"

#include <fmt/format.h>

#include <algorithm>

#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"

namespace zodadovez {
namespace {

// How often a progressive is read again after another writer changed it under us.
constexpr int kMaxAttempts = 20;

// The progressives that number a table's key, and the key column they number.
struct NumberedTable {
  const char* key;
  const char* table;
  const char* column;
};
constexpr NumberedTable kNumberedTables[] = {{"ANAGG", "CG16_ANAGGEN", "CG16_CODICE"}};

// The single value of a MAX(...) query; 0 when the table has no rows.
std::int64_t Highest(Database& db, const std::string& sql) {
  Recordset rs = db.open(sql);
  if (rs.eof()) return 0;
  return NzDec(rs["ULTIMO"]).ToInteger();
}

std::string ReadSql(std::string_view key) {
  return "SELECT CG26_VALPROG FROM CG26_PROGANAG WITH (NOLOCK) WHERE CG26_CODICE = " +
         SqlQuote(key);
}

}  // namespace

std::int64_t AdvanceProgressive(Database& db, std::string_view key, std::int64_t in_use) {
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    Recordset rs = db.open(ReadSql(key));
    if (rs.eof()) {
      std::int64_t first = in_use + 1;
      try {
        WritableRecordset row =
            db.open_for_insert("SELECT * FROM CG26_PROGANAG WITH (NOLOCK) WHERE 1 = 0");
        row.add_new();
        row.set("CG26_CODICE", Value(key));
        row.set("CG26_VALPROG", Value(first));
        row.update_batch();
        return first;
      } catch (const DataError&) {
        // Another writer may have created the key meanwhile: advance its row instead. Any other
        // refusal stands.
        if (db.open(ReadSql(key)).eof()) throw;
        continue;
      }
    }
    std::int64_t current = NzDec(rs["CG26_VALPROG"]).ToInteger();
    std::int64_t next = std::max(current, in_use) + 1;
    // Compare and set: no transaction is needed to keep two writers from taking one value.
    std::int64_t changed = db.execute(fmt::format(
        "UPDATE CG26_PROGANAG SET CG26_VALPROG = {} WHERE CG26_CODICE = {} AND CG26_VALPROG = {}",
        next, SqlQuote(key), current));
    if (changed == 1) return next;
  }
  throw DataError(fmt::format("progressive {}: changed by another writer {} times in a row", key,
                              kMaxAttempts));
}

std::int64_t TableProgressive::Next(const std::string& key) {
  std::int64_t in_use = 0;
  for (const NumberedTable& t : kNumberedTables) {
    if (TextEquals(key, t.key)) {
      in_use = Highest(
          db_, fmt::format("SELECT MAX({}) AS ULTIMO FROM {} WITH (NOLOCK)", t.column, t.table));
    }
  }
  return AdvanceProgressive(db_, key, in_use);
}

std::int64_t CliForNumbering::Next(int company, int kind) {
  int type = 0;
  if (kind == 901) {
    type = 0;
  } else if (kind == 902) {
    type = 1;
  } else {
    throw Error(fmt::format("numbering: unknown kind {} (901 customers, 902 suppliers)", kind));
  }
  std::int64_t in_use = Highest(
      db_, fmt::format("SELECT MAX(CG44_CLIFOR) AS ULTIMO FROM CG44_CLIFOR WITH (NOLOCK) WHERE "
                       "CG44_DITTA_CG18 = {} AND CG44_TIPOCF = {}",
                       company, type));
  return AdvanceProgressive(db_, fmt::format("CLIFOR_{}_{}", company, kind), in_use);
}

}  // namespace zodadovez
