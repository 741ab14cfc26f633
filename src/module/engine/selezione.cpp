// ZODADOVEZ_FileS2_MOVMA: receipt selection and the per-receipt loop of one configuration.
#include "module/engine/selezione.h"

#include <fmt/format.h>

#include <chrono>

#include "module/articles/codifica.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/config/storico.h"
#include "module/engine/accorpati.h"
#include "module/engine/documento.h"
#include "module/engine/esecuzioni.h"
#include "module/engine/import_run.h"
#include "module/engine/kit.h"
#include "module/engine/reports.h"
#include "module/masterdata/lookups.h"

namespace zodadovez {
namespace {

constexpr const char* kLabel = "ZODADOVEZ_FileS2_MOVMA --> ";

void Line(ImportRun& run, const std::string& text) {
  run.state.result_label.clear();
  run.state.result_text = text;
  ScriviRisultato(run);
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

std::string CondizioneRicevute(ImportRun& run) {
  std::string condition;
  const ParameterSet& c = run.selections;
  auto add = [&](const std::string& term) {
    condition += (Blank(condition) ? " WHERE " : " AND ") + term;
  };
  if (c.mode == 0) {
    if (!RTrimNz(run.last_imported_date).empty()) {
      condition = " WHERE RicevuteTestata.DataRicevuta > '" +
                  SqlEscape(run.DateDB(run.last_imported_date)) + "'";
    }
  } else if (c.mode == 1) {
    if (!RTrimNz(Value(c.date_from)).empty()) {
      condition = " WHERE RicevuteTestata.DataRicevuta >= '" +
                  SqlEscape(run.DateDB(Value(c.date_from))) + "'";
    }
    if (!RTrimNz(Value(c.date_to)).empty()) {
      add("RicevuteTestata.DataRicevuta <= '" + SqlEscape(run.DateDB(Value(c.date_to))) + "'");
    }
    if (!RTrimNz(Value(c.number_from)).empty()) {
      add("RicevuteTestata.NumeroRicevuta >= " + Number(c.number_from, "TXT_DADOC"));
    }
    if (!RTrimNz(Value(c.number_to)).empty()) {
      add("RicevuteTestata.NumeroRicevuta <= " + Number(c.number_to, "TXT_ADOC"));
    }
  }
  return condition;
}

void ScriviContatori(ImportRun& run) {
  const RunState& state = run.state;
  Decimal discarded = NzDec(state.present).ToDecimal() - NzDec(state.imported).ToDecimal();
  if (discarded.sign() < 0) discarded = -discarded;
  Line(run, "Documenti Presenti = " + state.present.ToText());
  Line(run, "Documenti Importati = " + state.imported.ToText());
  Line(run, "Documenti Scartati = " + Value(discarded).ToText());
}

void ContaCheckpoint(ImportRun& run) {
  ++run.state.checkpoint_counter;
  if (run.state.checkpoint_counter > run.state.checkpoint_interval) {
    ScriviStorico(run);
    run.state.checkpoint_counter = 0;
  }
}

void EstendiDate(RunState& state, const Value& date) {
  if (date.kind() != ValueKind::kDate) return;
  const DateTime day = date.as_date();
  if (state.date_first.is_empty() || day < state.date_first.ToDate()) state.date_first = date;
  if (state.date_last.is_empty() || state.date_last.ToDate() < day) state.date_last = date;
}

namespace {

DateTime Today(ImportRun& run) {
  return std::chrono::time_point_cast<std::chrono::seconds>(
      std::chrono::floor<std::chrono::days>(run.clock().Now()));
}

}  // namespace

void CaricaMemorizzati(ImportRun& run) {
  RunState& state = run.state;
  state.stored = StoredDocuments();
  state.already_stored = 0;
  state.second_copies = 0;
  const ParameterSet& s = run.selections;
  // "Normale" never stores a receipt twice; "Rielabora" does, on purpose, unless asked for the
  // missing ones only.
  state.skip_stored = s.mode == 0 || run.options().only_missing;
  std::optional<DateTime> after;
  DateTime from;
  if (s.mode == 0 && run.last_imported_date.kind() == ValueKind::kDate) {
    after = run.last_imported_date.as_date();
  } else if (s.mode == 1 && TryParseItalianDate(s.date_from, &from)) {
    after = from - std::chrono::days(1);
  }
  state.stored = DocumentiMemorizzati(run, state.configuration_id, after);
}

bool GiaMemorizzata(ImportRun& run, Recordset& receipt) {
  RunState& state = run.state;
  if (!state.skip_stored) return false;
  const std::int64_t id = NzDec(receipt["IdRicevuta"]).ToInteger();
  if (!state.stored.Has(id)) return false;
  // Done already: the run covers it without storing it again.
  EstendiDate(state, receipt["DataRicevuta"]);
  ++state.already_stored;
  state.present = Value(NzDec(state.present).ToInteger() - 1);
  return true;
}

bool DataNonImportabile(ImportRun& run, Recordset& receipt, DateTime today) {
  const Value& date = receipt["DataRicevuta"];
  RunState& state = run.state;
  const std::string key =
      fmt::format("IDRicevuta = {} / NumeroRicevuta = {}", receipt["IdRicevuta"].ToText(),
                  receipt["NumeroRicevuta"].ToText());
  try {
    if (date.kind() == ValueKind::kDate) {
      if (date.as_date() < today + std::chrono::days(1)) return false;
      // Imported all the same; the run history keeps today as its last date (ScriviStorico),
      // so that the next "Normale" run still selects the days before it, and the ledger keeps
      // the receipt from being stored twice.
      state.result_label.clear();
      state.result_text = fmt::format("Ricevuta con data futura ({}), importata: {}",
                                      FormatItalianDate(date.as_date()), key);
      ScriviRisultato(run);
      return false;
    }
    state.result_label = "RicevutaTestata";
    state.result_text = "Ricevuta senza data: non importata: " + key;
    RegistraScarto(run, {NzDec(receipt["IdRicevuta"]).ToInteger(), date, ""}, state.result_text);
    ScriviRisultato(run);
  } catch (const std::exception& e) {
    run.RecordError(kLabel, e);
  }
  ContaCheckpoint(run);
  return true;
}

void SegnalaRicevuteSenzaData(ImportRun& run, const std::string& companies) {
  Recordset rs = run.db().open(fmt::format(
      "SELECT RicevuteTestata.IdRicevuta, RicevuteTestata.NumeroRicevuta FROM "
      "{}.dbo.RicevuteTestata "
      "WITH (NOLOCK) INNER JOIN ZEV02_GYMVELTA WITH (NOLOCK) ON RicevuteTestata.TipoRicevuta = "
      "ZEV02_TIPORICEVUTA collate Latin1_General_CI_AS AND ISNULL(ZEV02_TRAS_IN_VT, 0) = 1 AND "
      "ZEV02_DITTA_CG18 = {} WHERE RicevuteTestata.DataRicevuta IS NULL AND "
      "RicevuteTestata.IDRicevuteAzienda IN ({}) AND RicevuteTestata.Annullata <> -1",
      run.state.gym_database, run.company, companies));
  for (; !rs.eof(); rs.move_next()) {
    // A "Normale" run selects by date: a receipt without one would never be imported.
    run.state.result_label = "RicevutaTestata";
    run.state.result_text =
        fmt::format("Ricevuta senza data: non importata: IDRicevuta = {} / NumeroRicevuta = {}",
                    rs["IdRicevuta"].ToText(), rs["NumeroRicevuta"].ToText());
    ScriviRisultato(run);
  }
}

void ZODADOVEZ_FileS2_MOVMA(ImportRun& run) {
  RunState& state = run.state;
  const std::string& gym = state.gym_database;
  // Each configuration run has its own history row and receipt date range.
  state.history_id = Decimal();
  state.date_first = Value();
  state.date_last = Value();
  state.found = false;
  state.abort = 0;
  try {
    state.result_label.clear();
    Line(run, " Inizio Import ---> " + FormatItalianDate(run.clock().Now()));
    state.kit_table = false;

    int mode = run.selections.mode;
    if (mode != 2) {
      if (run.engine.check_kit) run.engine.check_kit(run);
      if (state.abort != 0) return;
      if (run.engine.check_articoli) run.engine.check_articoli(run);
      if (state.abort != 0) return;
    }

    Recordset patch = run.db().open("SELECT VALORE FROM " + gym +
                                    ".dbo.IMPOSTAZIONI WHERE DESCRIZIONE = 'ULTIMOPATCH' ");
    state.patch_level = 0;
    if (!patch.eof() && !RTrimNz(patch["VALORE"]).empty()) {
      state.patch_level = static_cast<std::int32_t>(patch["VALORE"].ToInteger());
    }

    std::string query =
        " SELECT * FROM " + gym +
        ".dbo.RicevuteTestata WITH (NOLOCK)  INNER JOIN ZEV02_GYMVELTA WITH (NOLOCK)  ON "
        "RicevuteTestata.TipoRicevuta = ZEV02_TIPORICEVUTA collate Latin1_General_CI_AS AND "
        "ISNULL(ZEV02_TRAS_IN_VT, 0) = 1 AND ISNULL(ZEV02_ACCORPADOC,0) = 0  AND "
        "ZEV02_DITTA_CG18 = " +
        std::to_string(run.company);
    if (state.kit_table) {
      query +=
          " LEFT OUTER JOIN #TempKit AS K WITH (NOLOCK)  ON RicevuteTestata.IdRicevuta = "
          "K.K_IdRicevuta";
    }
    std::string condition = CondizioneRicevute(run);

    Recordset companies = run.db().open(fmt::format(
        "SELECT ZEV91_IDAZIENDA, ZEV01_TIPOCONTO FROM ZEV91_DITTE WITH (NOLOCK) INNER JOIN "
        "ZEV01_AZIENDE WITH (NOLOCK) ON ZEV91_DITTA_VT = ZEV01_DITTA_CG18 AND "
        "ZEV91_IDPARAM_ZEV90 = ZEV01_IDPARAM_ZEV90 AND ZEV91_IDAZIENDA = ZEV01_AZIENDA WHERE "
        "ZEV91_DITTA_VT = {} AND ZEV91_IDPARAM_ZEV90 = {}",
        run.company, state.configuration_id));
    if (companies.eof()) {
      Line(run, "Parametri di Configurazione azienda mancati! DataBase: " + gym);
      return;
    }
    std::string list;
    for (; !companies.eof(); companies.move_next()) {
      const Value& type = companies["ZEV01_TIPOCONTO"];
      if (RTrimNz(type).empty() || NzDec(type).ToDecimal().is_zero()) {
        Line(run, "Tipologia Gestione Conti non configurata! DataBase: " + gym +
                      " Azienda: " + companies["ZEV91_IDAZIENDA"].ToText());
      } else {
        list += companies["ZEV91_IDAZIENDA"].ToText() + ", ";
      }
    }
    if (!list.empty()) {
      list.resize(list.size() - 2);
    } else {
      Line(run, "Tipologia Gestione Conti non configurata su nessuna azienda! DataBase: " + gym);
      list = "0";
    }

    condition += (Blank(condition) ? " WHERE RicevuteTestata.IDRicevuteAzienda IN ("
                                   : " And RicevuteTestata.IDRicevuteAzienda IN (") +
                 list + ")";
    condition += " And RicevuteTestata.Annullata <> -1";
    std::string grouped_condition =
        condition + " AND ZEV03_FLGIMPORTA = 1 AND PREZZOUNITARIO <> 0 ";
    query += condition;
    if (state.kit_table) query += " AND K.K_IDRicevuta IS NULL ";
    query += " ORDER BY ";
    query += mode == 2 ? "RicevuteTestata.NumeroRicevuta" : "DataRicevuta, IDRicevuteAzienda";

    state.bound_document_type = "STRSQL";
    state.results_ok = false;
    state.present = Value(0);
    state.imported = Value(0);
    CaricaMemorizzati(run);
    if (mode == 0) SegnalaRicevuteSenzaData(run, list);
    Recordset receipts = run.db().open(query);
    if (!receipts.eof()) {
      state.found = true;
      auto count = static_cast<std::int64_t>(receipts.record_count());
      state.present = Value(count);
      state.phase = "ricevute";
      run.Progress("Open", static_cast<double>(count));
      run.Progress("Tot", static_cast<double>(count));
      const DateTime today = Today(run);
      for (; !receipts.eof() && !run.StopRequested(); receipts.move_next()) {
        run.DoEvents();
        run.Progress("View", 0);
        std::string document_type = RTrimNz(receipts["ZEV02_DOCUM_MG36"]);
        state.current_receipt_id = NzDec(receipts["IdRicevuta"]).ToDecimal();
        if (GiaMemorizzata(run, receipts)) continue;
        if (DataNonImportabile(run, receipts, today)) continue;
        if (run.engine.receipt_document) run.engine.receipt_document(run, receipts, document_type);
      }
      RilasciaDocumento(run);
      run.Progress("Close", 0);
      ScriviStorico(run);
      ScriviContatori(run);
    }
    receipts.close();
    bool grouped_found = false;
    // A run asked to stop ends with the receipt in hand: the grouped days are left for the run
    // that completes it.
    if (!run.StopRequested()) {
      if (run.engine.grouped_documents) {
        grouped_found = run.engine.grouped_documents(
            run, grouped_condition, static_cast<std::int16_t>(state.configuration_id));
      }
    }
    if (state.already_stored > 0) {
      Line(run, fmt::format("Documenti già memorizzati da un'elaborazione precedente, non "
                            "importati di nuovo = {}",
                            state.already_stored));
    }
    if (!state.found && !grouped_found) Line(run, "Nessun Record è stato trovato");
    state.results_ok = true;
    Line(run, " Fine Import ---> " + FormatItalianDate(run.clock().Now()));
    Line(run, "");
  } catch (const std::exception& e) {
    run.RecordError(kLabel, e);
  }
}

}  // namespace zodadovez
