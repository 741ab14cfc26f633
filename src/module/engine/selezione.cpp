// ZODADOVEZ_FileS2_MOVMA: receipt selection and the per-receipt loop of one configuration.
#include "module/engine/selezione.h"

#include <fmt/format.h>

#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/config/storico.h"
#include "module/engine/reports.h"
#include "module/shell/frmzev_zodadovez.h"

namespace zodadovez {
namespace {

constexpr const char* kLabel = "ZODADOVEZ_FileS2_MOVMA --> ";

void Line(FRMZEV_ZODADOVEZ& w, const std::string& text) {
  w.run.result_label.clear();
  w.run.result_text = text;
  ScriviRisultato(w);
}

bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// A receipt number of the range, as typed; it must be a whole number, for it is spliced into
// the statement.
std::string Number(const std::string& typed, const char* field) {
  std::string text = RTrimNz(Value(typed));
  text.erase(0, text.find_first_not_of(' '));
  Decimal d;
  if (!Decimal::TryParse(text, &d) || d.scale() != 0) {
    throw ConversionError(fmt::format("{}: '{}' is not a receipt number", field, typed));
  }
  return text;
}

}  // namespace

std::string CondizioneRicevute(FRMZEV_ZODADOVEZ& w) {
  std::string condition;
  const WindowControls& c = w.controls;
  auto add = [&](const std::string& term) {
    condition += (Blank(condition) ? " WHERE " : " AND ") + term;
  };
  if (c.cbo_elabora == 0) {
    if (!RTrimNz(w.last_imported_date).empty()) {
      condition = " WHERE RicevuteTestata.DataRicevuta > '" +
                  SqlEscape(w.DateDB(w.last_imported_date)) + "'";
    }
  } else if (c.cbo_elabora == 1) {
    if (!RTrimNz(Value(c.txt_data_ini)).empty()) {
      condition = " WHERE RicevuteTestata.DataRicevuta >= '" +
                  SqlEscape(w.DateDB(Value(c.txt_data_ini))) + "'";
    }
    if (!RTrimNz(Value(c.txt_data_fine)).empty()) {
      add("RicevuteTestata.DataRicevuta <= '" + SqlEscape(w.DateDB(Value(c.txt_data_fine))) + "'");
    }
    if (!RTrimNz(Value(c.txt_dadoc)).empty()) {
      add("RicevuteTestata.NumeroRicevuta >= " + Number(c.txt_dadoc, "TXT_DADOC"));
    }
    if (!RTrimNz(Value(c.txt_adoc)).empty()) {
      add("RicevuteTestata.NumeroRicevuta <= " + Number(c.txt_adoc, "TXT_ADOC"));
    }
  }
  return condition;
}

void ScriviContatori(FRMZEV_ZODADOVEZ& w) {
  const RunState& run = w.run;
  Decimal discarded = NzDec(run.present).ToDecimal() - NzDec(run.imported).ToDecimal();
  if (discarded.sign() < 0) discarded = -discarded;
  Line(w, "Documenti Presenti = " + run.present.ToText());
  Line(w, "Documenti Importati = " + run.imported.ToText());
  Line(w, "Documenti Scartati = " + Value(discarded).ToText());
}

void ContaCheckpoint(FRMZEV_ZODADOVEZ& w) {
  ++w.run.checkpoint_counter;
  if (w.run.checkpoint_counter > w.run.checkpoint_interval) {
    ScriviStorico(w);
    w.run.checkpoint_counter = 0;
  }
}

void ZODADOVEZ_FileS2_MOVMA(FRMZEV_ZODADOVEZ& w) {
  RunState& run = w.run;
  const std::string& gym = run.gym_database;
  // Each configuration run has its own history row and receipt date range.
  run.history_id = Decimal();
  run.date_first = Value();
  run.date_last = Value();
  run.found = false;
  run.abort = 0;
  try {
    run.result_label.clear();
    Line(w, " Inizio Import ---> " + FormatItalianDate(w.clock().Now()));
    run.kit_table = false;

    int mode = w.controls.cbo_elabora;
    if (mode != 2) {
      if (w.engine.check_kit) w.engine.check_kit(w);
      if (run.abort != 0) return;
      if (w.engine.check_articoli) w.engine.check_articoli(w);
      if (run.abort != 0) return;
    }

    Recordset patch = w.db().open("SELECT VALORE FROM " + gym +
                                  ".dbo.IMPOSTAZIONI WHERE DESCRIZIONE = 'ULTIMOPATCH' ");
    run.patch_level = 0;
    if (!patch.eof() && !RTrimNz(patch["VALORE"]).empty()) {
      run.patch_level = static_cast<std::int32_t>(patch["VALORE"].ToInteger());
    }

    std::string query =
        " SELECT * FROM " + gym +
        ".dbo.RicevuteTestata WITH (NOLOCK)  INNER JOIN ZEV02_GYMVELTA WITH (NOLOCK)  ON "
        "RicevuteTestata.TipoRicevuta = ZEV02_TIPORICEVUTA collate Latin1_General_CI_AS AND "
        "ISNULL(ZEV02_TRAS_IN_VT, 0) = 1 AND ISNULL(ZEV02_ACCORPADOC,0) = 0  AND "
        "ZEV02_DITTA_CG18 = " +
        std::to_string(w.company);
    if (run.kit_table) {
      query +=
          " LEFT OUTER JOIN #TempKit AS K WITH (NOLOCK)  ON RicevuteTestata.IdRicevuta = "
          "K.K_IdRicevuta";
    }
    std::string condition = CondizioneRicevute(w);

    Recordset companies = w.db().open(fmt::format(
        "SELECT ZEV91_IDAZIENDA, ZEV01_TIPOCONTO FROM ZEV91_DITTE WITH (NOLOCK) INNER JOIN "
        "ZEV01_AZIENDE WITH (NOLOCK) ON ZEV91_DITTA_VT = ZEV01_DITTA_CG18 AND "
        "ZEV91_IDPARAM_ZEV90 = ZEV01_IDPARAM_ZEV90 AND ZEV91_IDAZIENDA = ZEV01_AZIENDA WHERE "
        "ZEV91_DITTA_VT = {} AND ZEV91_IDPARAM_ZEV90 = {}",
        w.company, run.configuration_id));
    if (companies.eof()) {
      Line(w, "Parametri di Configurazione azienda mancati! DataBase: " + gym);
      return;
    }
    std::string list;
    for (; !companies.eof(); companies.move_next()) {
      const Value& type = companies["ZEV01_TIPOCONTO"];
      if (RTrimNz(type).empty() || NzDec(type).ToDecimal().is_zero()) {
        Line(w, "Tipologia Gestione Conti non configurata! DataBase: " + gym + " Azienda: " +
                    companies["ZEV91_IDAZIENDA"].ToText());
      } else {
        list += companies["ZEV91_IDAZIENDA"].ToText() + ", ";
      }
    }
    if (!list.empty()) {
      list.resize(list.size() - 2);
    } else {
      Line(w, "Tipologia Gestione Conti non configurata su nessuna azienda! DataBase: " + gym);
      list = "0";
    }

    condition += (Blank(condition) ? " WHERE RicevuteTestata.IDRicevuteAzienda IN ("
                                   : " And RicevuteTestata.IDRicevuteAzienda IN (") +
                 list + ")";
    condition += " And RicevuteTestata.Annullata <> -1";
    std::string grouped_condition = condition + " AND ZEV03_FLGIMPORTA = 1 AND PREZZOUNITARIO <> 0 ";
    query += condition;
    if (run.kit_table) query += " AND K.K_IDRicevuta IS NULL ";
    query += " ORDER BY ";
    query += mode == 2 ? "RicevuteTestata.NumeroRicevuta" : "DataRicevuta, IDRicevuteAzienda";

    run.bound_document_type = "STRSQL";
    run.results_ok = false;
    run.present = Value(0);
    run.imported = Value(0);
    Recordset receipts = w.db().open(query);
    if (!receipts.eof()) {
      run.found = true;
      auto count = static_cast<std::int64_t>(receipts.record_count());
      run.present = Value(count);
      w.Progress("Open", static_cast<double>(count));
      w.Progress("Tot", static_cast<double>(count));
      for (; !receipts.eof(); receipts.move_next()) {
        w.DoEvents();
        w.Progress("View", 0);
        std::string document_type = RTrimNz(receipts["ZEV02_DOCUM_MG36"]);
        run.current_receipt_id = NzDec(receipts["IdRicevuta"]).ToDecimal();
        if (w.engine.receipt_document) w.engine.receipt_document(w, receipts, document_type);
      }
      if (w.engine.release_document) w.engine.release_document(w);
      w.Progress("Close", 0);
      ScriviStorico(w);
      ScriviContatori(w);
    }
    receipts.close();
    bool grouped_found = false;
    if (w.engine.grouped_documents) {
      grouped_found = w.engine.grouped_documents(
          w, grouped_condition, static_cast<std::int16_t>(run.configuration_id));
    }
    if (!run.found && !grouped_found) Line(w, "Nessun Record è stato trovato");
    run.results_ok = true;
    Line(w, " Fine Import ---> " + FormatItalianDate(w.clock().Now()));
    Line(w, "");
  } catch (const std::exception& e) {
    w.RecordError(kLabel, e);
  }
}

}  // namespace zodadovez
