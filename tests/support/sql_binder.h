// The offline binder: what SQL Server would refuse in the statements the module sends, checked
// against the stand-in schemas without a server.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/data/statement_log.h"
#include "host/schema/schema_model.h"

namespace zodadovez::testing {

// Binds statements as SQL Server does: every table named exists (plain and two-part names in
// the ERP database, three- and four-part names in a gym database, #names among the temporary
// tables created so far), every column reference exists in its table or, unqualified, in
// exactly one table of its query, and every comparison or assignment puts a column beside a
// value of a compatible type: no text beside a number, no number beside a date, no text longer
// than its column, no number beyond its column's range, no text comparison across the gym and
// ERP databases without a COLLATE clause. Writes (RowWrite) name existing columns, assign no
// identity column and carry values the column takes. Procedure calls name known parameters.
class StatementBinder {
 public:
  // `erp`: the ERP tables and procedures; `gym`: the tables of every gym database.
  StatementBinder(schema::SchemaModel erp, schema::SchemaModel gym);

  // What keeps the statement from binding, one line each; empty when it binds. A CREATE TABLE
  // adds its table, SELECT ... INTO #T its temporary table, DROP TABLE #T removes one.
  std::vector<std::string> Check(const StatementRecord& record);

 private:
  std::vector<std::string> CheckText(const std::string& sql);
  std::vector<std::string> CheckWrite(const RowWrite& write);

  schema::SchemaModel erp_;
  schema::SchemaModel gym_;
  schema::SchemaModel temp_;
  schema::SchemaModel system_;
  // Where the texts of each temporary table's columns take their collation from: "erp", "gym"
  // or "tempdb", by upper-case table and column name.
  std::map<std::string, std::map<std::string, std::string>> temp_origins_;
};

}  // namespace zodadovez::testing
