// Reconciliation of the gym receipts with the ERP documents: which receipts and grouped days of
// a period the import selects but no document stands for, which it discarded by one of its
// rules, and which a missing kit bill holds back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "module/common/database.h"
#include "module/common/value.h"

namespace zodadovez {

struct ReconcileRequest {
  int company = 0;
  std::vector<std::int64_t> configs;  // empty: every configuration of the company
  std::optional<DateTime> from;       // first day of the period (whole days)
  std::optional<DateTime> to;         // last day of the period, included
};

// Why a receipt or grouped day has no ERP document.
enum class LeftKind {
  kNoDocument,  // the import never stored one: a run did not reach it, or lost it
  kDiscarded,   // a rule of the import discarded it (the reason says which)
  kHeldBack,    // a kit product without bill of materials holds it back
};

// A receipt (or a grouped day) the selection takes that has no ERP document.
struct LeftBehind {
  std::int64_t configuration_id = 0;
  std::string gym_database;  // as the run names it: "Palestra" or "GYM_2.Mare"
  bool grouped_day = false;  // a day and section of grouped receipts, not one receipt
  std::int64_t receipt_id = 0;
  std::int64_t gym_company = 0;
  std::string receipt_type;
  std::int64_t number = 0;  // NumeroRicevuta; 0: looked for by DO11_NUMDOCORIG
  Value date;               // DataRicevuta
  std::string document_type;
  std::string section;
  std::string reason;
  LeftKind kind = LeftKind::kNoDocument;
};

struct ReconcileReport {
  std::int64_t examined = 0;       // receipts the selection takes in the period
  std::int64_t examined_days = 0;  // grouped days and sections in the period
  std::vector<LeftBehind> receipts;
  // Configurations that could not be looked at, each with the reason.
  std::vector<std::string> skipped;
};

// Compares, for each configuration of the company (or those requested) that the run driver
// imports (plain names, a default VAT code), the receipts the receipt selection takes
// (transferred, not grouped, not cancelled, of a gym company whose account type is set, in the
// period) with the documents of DO11_DOCTESTATA: by company, number, section, document type and
// year, or by DO11_NUMDOCORIG for a receipt without number; and the grouped days and sections
// with the run ledger (ZEV97_DOCUMENTI), or, for days stored before the ledger, with a document
// of that day, section, type and customer that stands for no receipt. A receipt or day without
// document is told discarded when the ledger holds the rule that discarded it. Throws Error
// when the database cannot be read.
ReconcileReport Reconcile(Database& db, const ReconcileRequest& request);

}  // namespace zodadovez
