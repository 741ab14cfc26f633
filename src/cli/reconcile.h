// Reconciliation of the gym receipts with the ERP documents: which receipts of a period the
// receipt selection takes but no document stands for, and which a missing kit bill holds back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "module/common/database.h"
#include "module/common/value.h"

namespace zodadovez::cli {

struct ReconcileRequest {
  int company = 0;
  std::vector<std::int64_t> configs;  // empty: every configuration of the company
  std::optional<DateTime> from;       // first day of the period (whole days)
  std::optional<DateTime> to;         // last day of the period, included
};

// A receipt the selection takes that has no ERP document.
struct LeftBehind {
  std::int64_t configuration_id = 0;
  std::string gym_database;  // as the run names it: "Palestra" or "GYM_2.Mare"
  std::int64_t receipt_id = 0;
  std::int64_t gym_company = 0;
  std::string receipt_type;
  std::int64_t number = 0;  // NumeroRicevuta; 0: looked for by DO11_NUMDOCORIG
  Value date;               // DataRicevuta
  std::string document_type;
  std::string section;
  std::string reason;
  bool held_back = false;  // by a kit product without bill of materials
};

struct ReconcileReport {
  std::int64_t examined = 0;  // receipts the selection takes in the period
  std::vector<LeftBehind> receipts;
  // Configurations that could not be looked at, each with the reason.
  std::vector<std::string> skipped;
};

// Compares, for each configuration of the company (or those requested) that the run driver
// imports (plain names, a default VAT code), the receipts the
// receipt selection takes (transferred, not grouped, not cancelled, of a gym company whose
// account type is set, in the period) with the documents of DO11_DOCTESTATA: by company,
// number, section, document type and year, or by DO11_NUMDOCORIG for a receipt without number.
// Grouped daily documents carry no receipt key and are not compared. Throws Error when the
// database cannot be read.
ReconcileReport Reconcile(Database& db, const ReconcileRequest& request);

}  // namespace zodadovez::cli
