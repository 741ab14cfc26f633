// Small ERP lookups that document building needs: currency decimals, the net-from-gross
// rounding, the sales price list, the section default and footer setting of a document type.
#pragma once

#include <cstdint>
#include <string>

#include "module/common/database.h"

namespace zodadovez {

class ImportRun;

// The currency state kept by the window.
struct CurrencyState {
  Recordset list;  // all currencies with their decimals; loaded on first use
  bool loaded = false;
  std::string last_code;  // the code whose decimals are loaded
  std::int16_t amount_decimals = 2;
  std::int16_t warehouse_decimals = 2;
};

// The amount without VAT, rounded to the currency's amount decimals; 0 on an error.
double Scorporo(ImportRun& run, const Value& amount, const Value& rate,
                const std::string& currency);
// Loads the decimals of the currency; false (and 2 and 2 decimals) when it is unknown.
bool Leggi_Decimali(ImportRun& run, const Value& currency);
// The lowest sales price list number of the company, 0 when there is none or on an error.
std::int32_t LeggiListino(ImportRun& run);
// Sets run.document.section_default from MG3G_DOCDITTA (empty when none or on an error).
void LeggiSezioneDefault(ImportRun& run, const std::string& document_type);
// Sets run.no_footer_defaults from MG36_INDDEFPIE of run.document.document_type.
void LeggiTipoDocumento(ImportRun& run);

}  // namespace zodadovez

namespace zodadovez {

class ImportRun;

// Makes sure the host document object exists and is bound to `document_type`: creates and
// starts it the first time, ends and restarts it when the type changes. Errors propagate.
void CollegaDocumento(ImportRun& run, const std::string& document_type);
// Ends and releases the host document object when there is one. Errors propagate.
void RilasciaDocumento(ImportRun& run);

}  // namespace zodadovez
