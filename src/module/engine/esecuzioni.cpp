// The run ledger: ZEV98_ESECUZIONI (runs) and ZEV97_DOCUMENTI (documents stored).
#include "module/engine/esecuzioni.h"

#include <fmt/format.h>

#include <chrono>

#include "module/common/database.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"
#include "module/engine/documento.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// Created as the run history is, by the module itself when missing, so that an ERP database
// that has only ZEV99_RESULT gets them on its first run.
constexpr const char* kCreateRuns =
    "CREATE TABLE [dbo].[ZEV98_ESECUZIONI] ( [ZEV98_ID] [int] IDENTITY (1, 1) NOT NULL , "
    "[ZEV98_DITTA_CG18] [decimal](5, 0) NOT NULL , [ZEV98_INIZIO] [datetime] NOT NULL , "
    "[ZEV98_FINE] [datetime] NULL , [ZEV98_ESITO] [decimal](1, 0) NOT NULL , "
    "[ZEV98_TIPOELABORA] [decimal](1, 0) NULL , [ZEV98_DATA_INIZIO] [datetime] NULL , "
    "[ZEV98_PROCESSO] [varchar] (120) COLLATE SQL_Latin1_General_CP1_CI_AS NULL , "
    "[ZEV98_RIPRESA_ZEV98] [int] NULL ) ON [PRIMARY]";
constexpr const char* kRunsKey =
    " ALTER TABLE [dbo].[ZEV98_ESECUZIONI] WITH NOCHECK ADD CONSTRAINT [PK_ZEV98_ESECUZIONI] "
    "PRIMARY KEY  CLUSTERED ( [ZEV98_ID] ) WITH  FILLFACTOR = 90  ON [PRIMARY]";
constexpr const char* kCreateDocuments =
    "CREATE TABLE [dbo].[ZEV97_DOCUMENTI] ( [ZEV97_ID] [int] IDENTITY (1, 1) NOT NULL , "
    "[ZEV97_DITTA_CG18] [decimal](5, 0) NOT NULL , [ZEV97_IDPARAM_ZEV90] [int] NOT NULL , "
    "[ZEV97_IDRUN_ZEV98] [int] NULL , [ZEV97_IDRICEVUTA] [int] NULL , "
    "[ZEV97_DATARICEVUTA] [datetime] NULL , [ZEV97_GIORNO] [datetime] NULL , "
    "[ZEV97_SEZDOC] [varchar] (3) COLLATE SQL_Latin1_General_CP1_CI_AS NULL , "
    "[ZEV97_DOCUM_MG36] [varchar] (10) COLLATE SQL_Latin1_General_CP1_CI_AS NULL , "
    "[ZEV97_NUMREG_CO99] [decimal](10, 0) NULL , [ZEV97_COPIA] [decimal](1, 0) NULL , "
    "[ZEV97_ESITO] [decimal](1, 0) NULL , [ZEV97_MOTIVO] [varchar] (255) COLLATE "
    "SQL_Latin1_General_CP1_CI_AS NULL , [ZEV97_DATA_WORK] [datetime] NULL ) ON [PRIMARY]";
constexpr const char* kDocumentsKey =
    " ALTER TABLE [dbo].[ZEV97_DOCUMENTI] WITH NOCHECK ADD CONSTRAINT [PK_ZEV97_DOCUMENTI] "
    "PRIMARY KEY  CLUSTERED ( [ZEV97_ID] ) WITH  FILLFACTOR = 90  ON [PRIMARY]";
// The lookups of a run: by configuration and receipt, and by configuration and day.
constexpr const char* kDocumentsByReceipt =
    "CREATE INDEX [IX_ZEV97_RICEVUTA] ON [dbo].[ZEV97_DOCUMENTI] ( [ZEV97_DITTA_CG18], "
    "[ZEV97_IDPARAM_ZEV90], [ZEV97_DATARICEVUTA] )";
constexpr const char* kDocumentsByDay =
    "CREATE INDEX [IX_ZEV97_GIORNO] ON [dbo].[ZEV97_DOCUMENTI] ( [ZEV97_DITTA_CG18], "
    "[ZEV97_IDPARAM_ZEV90], [ZEV97_GIORNO] )";

std::optional<DateTime> DateOf(const Value& v) {
  if (v.kind() != ValueKind::kDate) return std::nullopt;
  return v.as_date();
}

Value DateColumn(const std::optional<DateTime>& date) {
  return date ? Value(*date) : Value(Null{});
}

std::int64_t Integer(const Value& v) { return NzDec(v).ToInteger(); }

}  // namespace

bool StoredDocuments::Has(DateTime day, const std::string& section) const {
  return days.count({day, FoldCase(RTrimNz(Value(section)))}) > 0;
}

void CreaTabelleEsecuzioni(ImportRun& run) {
  Database& db = run.db();
  if (!EsisteTabella(db, "ZEV98_ESECUZIONI", "T")) {
    db.execute(kCreateRuns);
    db.execute(kRunsKey);
  }
  if (!EsisteTabella(db, "ZEV97_DOCUMENTI", "T")) {
    db.execute(kCreateDocuments);
    db.execute(kDocumentsKey);
    db.execute(kDocumentsByReceipt);
    db.execute(kDocumentsByDay);
  }
}

std::vector<UnfinishedRun> EsecuzioniNonTerminate(ImportRun& run) {
  Recordset rs = run.db().open(fmt::format(
      "SELECT ZEV98_ID, ZEV98_INIZIO, ZEV98_TIPOELABORA, ZEV98_DATA_INIZIO, ZEV98_PROCESSO FROM "
      "ZEV98_ESECUZIONI WITH (NOLOCK) WHERE ZEV98_DITTA_CG18 = {} AND (ZEV98_FINE IS NULL OR "
      "ZEV98_ESITO = {}) AND ZEV98_RIPRESA_ZEV98 IS NULL AND ZEV98_ID <> {} ORDER BY ZEV98_ID",
      run.company, static_cast<int>(kRunInterrupted), run.run_id));
  std::vector<UnfinishedRun> runs;
  for (; !rs.eof(); rs.move_next()) {
    UnfinishedRun r;
    r.id = Integer(rs["ZEV98_ID"]);
    r.started = rs["ZEV98_INIZIO"].ToDate();
    r.mode = static_cast<int>(Integer(rs["ZEV98_TIPOELABORA"]));
    r.start_date = DateOf(rs["ZEV98_DATA_INIZIO"]);
    r.process = RTrimNz(rs["ZEV98_PROCESSO"]);
    runs.push_back(std::move(r));
  }
  return runs;
}

void IniziaEsecuzione(ImportRun& run, const std::optional<DateTime>& start_date) {
  WritableRecordset rs = run.db().open_for_insert("SELECT * FROM ZEV98_ESECUZIONI WHERE 1 = 0");
  rs.add_new();
  rs.set("ZEV98_DITTA_CG18", run.company);
  rs.set("ZEV98_INIZIO", run.clock().Now());
  rs.set("ZEV98_ESITO", static_cast<int>(kRunInProgress));
  rs.set("ZEV98_TIPOELABORA", run.selections.mode);
  rs.set("ZEV98_DATA_INIZIO", DateColumn(start_date));
  rs.set("ZEV98_PROCESSO", run.host().ProcessDescription());
  rs.update_batch();
  run.run_id = rs.identity().value_or(0);
}

void TerminaEsecuzione(ImportRun& run, RunEnd how, const std::vector<UnfinishedRun>& resumed) {
  auto end = [&](std::int64_t id, RunEnd end_as, std::int64_t resumed_by) {
    WritableRecordset rs = run.db().open_for_insert(
        fmt::format("SELECT * FROM ZEV98_ESECUZIONI WHERE ZEV98_ID = {}", id));
    if (rs.eof()) return;
    // A run stopped on request keeps the moment it stopped.
    if (rs["ZEV98_FINE"].is_null() || rs["ZEV98_FINE"].is_empty()) {
      rs.set("ZEV98_FINE", run.clock().Now());
    }
    rs.set("ZEV98_ESITO", static_cast<int>(end_as));
    if (resumed_by != 0) rs.set("ZEV98_RIPRESA_ZEV98", resumed_by);
    rs.update_batch();
  };
  end(run.run_id, how, 0);
  if (how != kRunCompleted) return;
  for (const UnfinishedRun& r : resumed) {
    end(r.id, r.mode == 0 ? kRunResumed : kRunAbandoned, run.run_id);
  }
}

StoredDocuments DocumentiMemorizzati(ImportRun& run, std::int64_t configuration_id,
                                     const std::optional<DateTime>& after) {
  std::string period;
  if (after) {
    const std::string date = SqlQuote(run.DateDB(Value(*after)));
    period = fmt::format(" AND (ZEV97_DATARICEVUTA > {0} OR ZEV97_GIORNO > {0})", date);
  }
  // A document the user has deleted since (to import its receipt again) no longer counts.
  Recordset rs = run.db().open(fmt::format(
      "SELECT ZEV97_IDRICEVUTA, ZEV97_GIORNO, ZEV97_SEZDOC FROM ZEV97_DOCUMENTI WITH (NOLOCK) "
      "INNER JOIN DO11_DOCTESTATA WITH (NOLOCK) ON DO11_DITTA_CG18 = ZEV97_DITTA_CG18 AND "
      "DO11_NUMREG_CO99 = ZEV97_NUMREG_CO99 WHERE ZEV97_DITTA_CG18 = {} AND ZEV97_IDPARAM_ZEV90 = "
      "{} AND ISNULL(ZEV97_ESITO, 0) = 0{}",
      run.company, configuration_id, period));
  StoredDocuments stored;
  for (; !rs.eof(); rs.move_next()) {
    const std::int64_t receipt = Integer(rs["ZEV97_IDRICEVUTA"]);
    if (receipt != 0) {
      stored.receipts.insert(receipt);
    } else if (auto day = DateOf(rs["ZEV97_GIORNO"])) {
      stored.days.insert({*day, FoldCase(RTrimNz(rs["ZEV97_SEZDOC"]))});
    }
  }
  return stored;
}

namespace {

// One ledger row of the configuration being run: a receipt or a grouped day.
void Registra(ImportRun& run, const LedgerKey& key, const std::string& document_type,
              const std::string& registration, bool second_copy, const std::string& reason) {
  WritableRecordset rs = run.db().open_for_insert("SELECT * FROM ZEV97_DOCUMENTI WHERE 1 = 0");
  rs.add_new();
  rs.set("ZEV97_DITTA_CG18", run.company);
  rs.set("ZEV97_IDPARAM_ZEV90", run.state.configuration_id);
  if (run.run_id != 0) rs.set("ZEV97_IDRUN_ZEV98", run.run_id);
  if (key.receipt_id != 0) {
    rs.set("ZEV97_IDRICEVUTA", key.receipt_id);
    rs.set("ZEV97_DATARICEVUTA", DateColumn(DateOf(key.date)));
  } else {
    rs.set("ZEV97_GIORNO", DateColumn(DateOf(key.date)));
    rs.set("ZEV97_SEZDOC", key.section);
  }
  if (!document_type.empty()) rs.set("ZEV97_DOCUM_MG36", document_type);
  Decimal number;
  if (Decimal::TryParse(RTrimNz(Value(registration)), &number)) rs.set("ZEV97_NUMREG_CO99", number);
  rs.set("ZEV97_COPIA", second_copy ? 1 : 0);
  rs.set("ZEV97_ESITO", reason.empty() ? 0 : 1);
  if (!reason.empty()) rs.set("ZEV97_MOTIVO", Value(FirstCharacters(reason, 255)));
  rs.set("ZEV97_DATA_WORK", run.clock().Now());
  rs.update_batch();
}

}  // namespace

void RegistraDocumento(ImportRun& run, const LedgerKey& key, const std::string& document_type,
                       const std::string& registration, bool second_copy) {
  Registra(run, key, document_type, registration, second_copy, std::string());
}

void RegistraScarto(ImportRun& run, const LedgerKey& key, const std::string& reason) {
  try {
    Registra(run, key, std::string(), std::string(), false, reason.empty() ? "-" : reason);
  } catch (const std::exception& e) {
    // The ledger's note of a discard is for reconciliation only: the run goes on.
    run.RecordError("RegistraScarto", e);
  }
}

}  // namespace zodadovez
