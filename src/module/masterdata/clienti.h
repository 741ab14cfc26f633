// Customers: the gym user of a receipt, the search of the ERP customer that stands for it, and
// the creation of that customer (CG16_ANAGGEN, CG44_CLIFOR, MG19_CLIFORVA) when none is found.
#pragma once

#include <cstdint>
#include <string>

#include "module/common/value.h"

namespace zodadovez {

class ImportRun;

// Splits a receipt's second address line ("20100 MILANO MI") into postal code, town and
// province of run.document.customer. A last word of exactly two characters is the province; five
// leading characters that read as a number are the postal code (else it is left as it was);
// the rest, left-trimmed, is the town (it keeps the blank before the province). `text` is not
// changed. Traps nothing.
void Dividi_Localita(ImportRun& run, std::string& text);

// Reads the Utenti row of run.document.gym_customer from the gym database into the customer
// fields (tax code, VAT number, name, address, postal code, town, province; member flag only
// ever set) and keeps it open in run.document.customer.user for the creation. False when there
// is no such user (no field changes) or on an error, which is recorded as "Leggi_Utente".
bool Leggi_Utente(ImportRun& run);

// One search of the company's ERP customers of CG44_TIPOCF `kind` by the key "P" (VAT number),
// "F" (tax code), "R" (name), "C" (code = gym user id) or "A" (alias = gym user id); any other
// key matches any customer. Sets run.document.customer.found and, when found, the ERP customer
// code and the payment terms code (only when the document has none). Errors are recorded as
// "Cerca_CliFor" and leave the found flag as it was reached.
void Cerca_CliFor(ImportRun& run, std::int16_t& kind, std::string& key);

// Associates the receipt's ERP customer by the searches of the company's search mode
// (ZEV01_INDASSOCLI 0 to 4; any other mode searches nothing) and creates it when none finds
// it. On return run.document.customer.found tells whether run.document.erp_customer is set.
// Traps nothing: errors reach the receipt's handler.
void Trova_Cliente(ImportRun& run);

// Creates the customer of CG44_TIPOCF `kind` from the customer fields: the master record, the
// ERP's propagation procedure, the company's customer record and its sales settings. With
// `code_check` the ERP customer code is kept only when free, else fresh numbers are asked for
// until one is. `progress` is accepted and shows nothing. On success the found flag is true and
// run.document.erp_customer holds the new code; on an error (recorded as "InsertAnagrafica ")
// the flag is false and the records already written stay.
void InsertAnagrafica(ImportRun& run, std::int16_t& kind, bool& progress, bool& code_check);

// Normalises the customer's town against CG01_ANAGCOMUNI: sets the town code (empty when the
// town is unknown) and takes the table's postal code (unless empty or "00000..."), name and
// province. Traps nothing.
void Cerca_Comune(ImportRun& run);

// A new customer (kind 0) or supplier (any other kind) code of the company from the host's
// numbering. Traps nothing.
Value Nuovo_CodiceCliFor(ImportRun& run, const Value& company, const Value& kind);

}  // namespace zodadovez
