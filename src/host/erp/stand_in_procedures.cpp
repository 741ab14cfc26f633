#include "host/erp/stand_in_procedures.h"

#include <fmt/format.h>

#include "host/data/sqlite/sqlite_dialect.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"

namespace zodadovez {
namespace {

// A named argument ("@DITTA") of the call; Empty when it was not passed.
Value Argument(const bridge::ProcedureCall& call, std::string_view name) {
  for (std::size_t i = 0; i < call.names.size() && i < call.arguments.size(); ++i) {
    if (TextEquals(call.names[i], name)) return call.arguments[i];
  }
  return Value();
}

struct Component {
  std::string article;
  std::string option;
  Decimal quantity;
  std::int64_t bill;
  std::int64_t link;
  int level;
};

// The kit bill (type 50) of an article: its id and base quantity, if it has one.
std::optional<std::pair<std::int64_t, Decimal>> KitBill(Database& db, const Value& company,
                                                        const std::string& article) {
  Recordset rs = db.open(fmt::format(
      "SELECT PD95_IDDISBA, PD95_QTABASE FROM PD95_DISBA WITH (NOLOCK) WHERE PD95_DITTA_CG18 = {} "
      "AND PD95_CODART_MG66 = {} AND PD95_TIPO_DISTINTA = 50 ORDER BY PD95_IDDISBA",
      NzDec(company).ToText(), SqlQuote(article)));
  if (rs.eof()) return std::nullopt;
  Decimal base = NzDec(rs["PD95_QTABASE"]).ToDecimal();
  if (base.is_zero()) base = Decimal(1);
  return std::make_pair(rs["PD95_IDDISBA"].ToInteger(), base);
}

// Explodes the article's kit bill for `quantity`, down to components that are no kits
// themselves (at most `levels` deep), in the order of the links.
void Explode(Database& db, const Value& company, const std::string& article,
             const Decimal& quantity, int level, int levels, std::vector<Component>& out) {
  auto bill = KitBill(db, company, article);
  if (!bill) return;
  Recordset links = db.open(fmt::format(
      "SELECT PD96_IDLEGAME, PD96_CODART_MG66, PD96_OPZIONE_MG5E, PD96_QTA FROM "
      "PD96_LEGAMIDISBA WITH (NOLOCK) WHERE PD96_IDDISBA_PD95 = {} ORDER BY PD96_SEQUENZA, "
      "PD96_IDLEGAME",
      bill->first));
  for (; !links.eof(); links.move_next()) {
    std::string component = RTrimNz(links["PD96_CODART_MG66"]);
    Decimal needed = NzDec(links["PD96_QTA"]).ToDecimal() * quantity / bill->second;
    if (level < levels && KitBill(db, company, component)) {
      Explode(db, company, component, needed, level + 1, levels, out);
    } else {
      out.push_back({component, RTrimNz(links["PD96_OPZIONE_MG5E"]), needed, bill->first,
                     links["PD96_IDLEGAME"].ToInteger(), level});
    }
  }
}

// SPMG_ESPLKIT: the components of a kit article for the quantity asked, one row each, with
// the columns ESPKIT_COMPON, ESPKIT_DESCART, ESPKIT_QTA1, ESPKIT_IDDISBA and ESPKIT_IDLEGAME.
// The rows are also left in ESPKIT_RISULTATO, as the procedure on the ERP's server does.
Recordset EsplodiKit(Database& db, const bridge::ProcedureCall& call) {
  Value company = Argument(call, "@DITTA");
  std::string article = RTrimNz(Argument(call, "@CODICE_ARTICOLO"));
  Decimal quantity = NzDec(Argument(call, "@QTA_DA_ESPLODERE")).ToDecimal();
  Value levels_arg = Argument(call, "@LIVELLO_ESPLOSIONE");
  int levels = levels_arg.is_empty() ? 999 : static_cast<int>(NzDec(levels_arg).ToInteger());
  std::vector<Component> components;
  Explode(db, company, article, quantity, 1, levels, components);

  db.execute("DELETE FROM ESPKIT_RISULTATO");
  WritableRecordset rs = db.open_for_insert("SELECT * FROM ESPKIT_RISULTATO WHERE 1 = 0");
  int row = 0;
  for (const Component& c : components) {
    Recordset description = db.open(fmt::format(
        "SELECT MG87_DESCART FROM MG87_ARTDESC WITH (NOLOCK) WHERE MG87_DITTA_CG18 = {} AND "
        "MG87_CODART_MG66 = {} ORDER BY MG87_LINGUA_MG52",
        NzDec(company).ToText(), SqlQuote(c.article)));
    rs.add_new();
    rs.set("ESPKIT_RIGA", ++row);
    rs.set("ESPKIT_LIVELLO", c.level);
    rs.set("ESPKIT_CODART", article);
    rs.set("ESPKIT_COMPON", c.article);
    rs.set("ESPKIT_OPZIONE", c.option);
    rs.set("ESPKIT_DESCART", description.eof() ? Value(Null{}) : description["MG87_DESCART"]);
    rs.set("ESPKIT_QTA1", c.quantity);
    rs.set("ESPKIT_IDDISBA", c.bill);
    rs.set("ESPKIT_IDLEGAME", c.link);
  }
  rs.update_batch();
  return db.open("SELECT * FROM ESPKIT_RISULTATO ORDER BY ESPKIT_RIGA");
}

// SPCO_AGGIORNA_ANAG_FROM_CG16: on the ERP's server it propagates a new master record to the
// tables derived from it. The stand-in ERP has no such tables: it checks that the record
// exists, as the procedure would fail on a code it cannot find.
Recordset AggiornaAnagrafica(Database& db, const bridge::ProcedureCall& call) {
  if (call.arguments.empty()) {
    throw DataError("SPCO_AGGIORNA_ANAG_FROM_CG16: the master record code is missing");
  }
  std::string code = NzDec(call.arguments[0]).ToText();
  Recordset rs = db.open("SELECT CG16_CODICE FROM CG16_ANAGGEN WITH (NOLOCK) WHERE CG16_CODICE = " +
                         NzDec(call.arguments[0]).ToDecimal().ToString());
  if (rs.eof()) {
    throw DataError(
        fmt::format("SPCO_AGGIORNA_ANAG_FROM_CG16: no master record with code {}", code));
  }
  return Recordset();
}

}  // namespace

std::vector<std::pair<std::string, sqlite::StandInProcedure>> StandInProcedures() {
  return {{"SPMG_ESPLKIT", EsplodiKit}, {"SPCO_AGGIORNA_ANAG_FROM_CG16", AggiornaAnagrafica}};
}

}  // namespace zodadovez
