// The module's run ledger, beside the run history ZEV99_RESULT: ZEV98_ESECUZIONI holds one row
// per run (started, ended, how), ZEV97_DOCUMENTI one row per document stored, written in the
// document's own transaction. Together they say exactly which receipts and grouped days a run
// that did not end has stored, so that the next run completes it without storing any twice.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "module/common/value.h"

namespace zodadovez {

class ImportRun;

// How a run of ZEV98_ESECUZIONI ended (ZEV98_ESITO).
enum RunEnd : int {
  kRunInProgress = 0,  // running, or killed before it could say otherwise
  kRunCompleted = 1,
  kRunInterrupted = 2,  // stopped on request after the receipt in hand
  kRunResumed = 3,      // completed by a later run (ZEV98_RIPRESA_ZEV98)
  kRunAbandoned = 4,    // a "Rielabora" run that did not end; never resumed by itself
};

// A run of the company that did not end.
struct UnfinishedRun {
  std::int64_t id = 0;
  DateTime started;
  int mode = 0;                        // 0 "Normale", 1 "Rielabora"
  std::optional<DateTime> start_date;  // the date after which its "Normale" selection began
  std::string process;                 // who ran it, as the host described itself
};

// The receipts and grouped days of one configuration that have a document.
struct StoredDocuments {
  std::set<std::int64_t> receipts;                  // IDRicevuta
  std::set<std::pair<DateTime, std::string>> days;  // day, section (folded)
  bool Has(std::int64_t receipt) const { return receipts.count(receipt) > 0; }
  bool Has(DateTime day, const std::string& section) const;
};

// Creates ZEV98_ESECUZIONI and ZEV97_DOCUMENTI when missing. Errors propagate.
void CreaTabelleEsecuzioni(ImportRun& run);

// The company's runs that did not end (ZEV98_FINE empty: killed) or were stopped on request,
// and that no later run completed, oldest first. Only meaningful while the run lock is held:
// then none of them is running.
std::vector<UnfinishedRun> EsecuzioniNonTerminate(ImportRun& run);

// Adds the row of the run starting now (in progress) and keeps its id in run.run_id.
void IniziaEsecuzione(ImportRun& run, const std::optional<DateTime>& start_date);

// Ends the run's row with `how`; when it completed, the runs it resumed are marked resumed by
// it, and unfinished "Rielabora" runs abandoned.
void TerminaEsecuzione(ImportRun& run, RunEnd how, const std::vector<UnfinishedRun>& resumed);

// The documents stored for configuration `configuration_id` of receipts dated after `after`
// (all when empty).
StoredDocuments DocumentiMemorizzati(ImportRun& run, std::int64_t configuration_id,
                                     const std::optional<DateTime>& after);

// What a ledger row is about: a receipt (`receipt_id` not 0, dated `date`) or a grouped day
// (`date`, `section`).
struct LedgerKey {
  std::int64_t receipt_id = 0;
  Value date;
  std::string section;
};

// Records the document just stored, in the caller's transaction; `second_copy` when the
// receipt or day had one already.
void RegistraDocumento(ImportRun& run, const LedgerKey& key, const std::string& document_type,
                       const std::string& registration, bool second_copy);
// Records that the receipt or day was discarded, and why (the results line); reconciliation
// tells these from receipts that were never handled. Errors go the anomaly route.
void RegistraScarto(ImportRun& run, const LedgerKey& key, const std::string& reason);

}  // namespace zodadovez
