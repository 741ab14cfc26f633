// The receipt document: one gym receipt becomes one ERP sales document through the host
// document object, header and rows.
#pragma once

#include <cstddef>
#include <string>

#include "module/common/errors.h"

namespace zodadovez {

class ImportRun;
class Recordset;

// A receipt or grouped document that must not be imported (run-time error 9999): the results
// label and text say why, and the procedure's handler writes them to the results file.
class Rejection : public Error {
 public:
  Rejection() : Error("receipt rejected", kNumber) {}
  static constexpr long kNumber = 9999;
};

// Sets the results label and text and throws Rejection.
[[noreturn]] void Reject(ImportRun& run, const std::string& label, const std::string& text);

// The first `n` characters of a UTF-8 text (a row description holds 1600).
std::string FirstCharacters(const std::string& s, std::size_t n);

// Makes the texts of the current row of `rs` whole (RepairText) and, when any needed it, writes
// a results line naming the fields, for the receipt being built.
void RipulisciTesti(ImportRun& run, Recordset& rs, const char* what);
// Builds and saves the document of the receipt on which `receipt` stands. Rejections are
// written to the results file; other errors go the anomaly route under the label
// "Inserimento Documento -- >  <document type>".
void InserimentoDocumento(ImportRun& run, Recordset& receipt, std::string& document_type);

// Writes one document row per row of `rows` (the row query's result) on the host document
// object. Errors propagate to the receipt document procedure.
void ScriviRigheDocumento(ImportRun& run, Recordset& rows);

// The row query of a receipt: its rows with their till movements, revenue centres, payment
// descriptions, service type settings and gym VAT codes.
std::string QueryRigheRicevuta(ImportRun& run, const std::string& receipt_id);

// After a document (single or grouped) is stored: counts it, clears the abort flag, checks its
// payment terms and, for cash terms with a cash account, fixes its journal counterpart.
void DocumentoMemorizzato(ImportRun& run, const std::string& registration,
                          std::string payment_code);

}  // namespace zodadovez
