// The sales price-list entry of a bar article (LI10_LISTARTIC): one per article in the window's
// price list, valid from 01/01/2010 to 31/12/2099.
#include "module/articles/listini.h"

#include <chrono>
#include <exception>
#include <string>

#include "module/common/database.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/value.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// The validity every entry of the import carries; prices change in place, not by period.
constexpr const char* kValidFrom = "01/01/2010";
constexpr const char* kValidTo = "31/12/2099";

// The current date without its time.
Value Today(ImportRun& run) {
  return Value(std::chrono::time_point_cast<std::chrono::seconds>(
      std::chrono::floor<std::chrono::days>(run.clock().Now())));
}

struct Setting {
  const char* column;
  int value;
};
// The columns of a new entry between its key and its creation date, in the order assigned.
constexpr Setting kEntrySettings[] = {
    {"LI10_FLGLIST", 1},    {"LI10_SC1PER", 0},     {"LI10_SC2PER", 0},     {"LI10_SC3PER", 0},
    {"LI10_SC4PER", 0},     {"LI10_SC5PER", 0},     {"LI10_SC6PER", 0},     {"LI10_SCIMP", 0},
    {"LI10_MAG1PER", 0},    {"LI10_MAG2PER", 0},    {"LI10_MAGIMP", 0},     {"LI10_PERRICDELTA", 0},
    {"LI10_INDRICALPR", 0}, {"LI10_INDARROT", 0},   {"LI10_FLGPROVV", 0},   {"LI10_PROVPER", 0},
    {"LI10_PROVIMP", 0},    {"LI10_FLGVARIATO", 0}, {"LI10_INDTIPOVAR", 0}, {"LI10_FLGPERSON", 0},
    {"LI10_INDUM", 1},
};

}  // namespace

void Scrivo_Listino(ImportRun& run, const std::string& code, double price) {
  try {
    run.state.abort = 0;
    const Value amount = NzDec(Value(price));
    // Option and warehouse are looked up as a blank and stored as empty text: the ERP's
    // collation ignores trailing blanks, so both name the same entry.
    WritableRecordset rs = run.db().open_for_insert(
        "SELECT * FROM LI10_LISTARTIC WHERE LI10_DITTA_CG18 = " + std::to_string(run.company) +
        " AND LI10_FLGUSODECOR = 0 AND LI10_FLGVENDACQ = 0 AND LI10_INDTIPOLIS = 0 AND "
        "LI10_CODART_MG66 = " +
        SqlQuote(code) +
        " AND LI10_OPZIONE_MG5E = ' ' AND LI10_DEPOS_MG58 = ' ' AND LI10_NUMLIST = " +
        std::to_string(run.price_list) +
        " AND LI10_DATAFINEVAL = " + SqlQuote(run.DateDB(Value(kValidTo))) +
        " AND LI10_DATAINIZIOVAL = " + SqlQuote(run.DateDB(Value(kValidFrom))));
    if (rs.eof()) {
      rs.add_new();
      rs.set("LI10_DITTA_CG18", run.company);
      rs.set("LI10_FLGUSODECOR", 0);
      rs.set("LI10_FLGVENDACQ", 0);
      rs.set("LI10_INDTIPOLIS", 0);
      rs.set("LI10_CODART_MG66", code);
      rs.set("LI10_OPZIONE_MG5E", std::string());
      rs.set("LI10_DEPOS_MG58", std::string());
      rs.set("LI10_NUMLIST", run.price_list);
      rs.set("LI10_DATAFINEVAL", Value(kValidTo).ToDate());
      rs.set("LI10_DATAINIZIOVAL", Value(kValidFrom).ToDate());
      for (const Setting& s : kEntrySettings) rs.set(s.column, s.value);
      rs.set("LI10_DATACREAZ", Today(run));
      rs.set("LI10_PREZZO", amount);
    } else if (!amount.ToDecimal().is_zero()) {
      // The gym's price is the current one: it is written again even when unchanged, and the
      // entry is marked as changed by the import.
      rs.set("LI10_PREZZO", amount);
      rs.set("LI10_FLGVARIATO", 1);
      rs.set("LI10_DATAULTAGG", Today(run));
    }
    rs.update_batch();
  } catch (const std::exception& e) {
    run.RecordError("Scrivo_Listino", e);
  }
}

}  // namespace zodadovez
