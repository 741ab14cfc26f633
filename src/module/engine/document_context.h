// The document context: the values of the ERP document being built from a receipt.
#pragma once

#include <cstdint>
#include <string>

#include "module/common/value.h"

namespace zodadovez {

// The settings of the receipt's gym company (ZEV01_AZIENDE).
struct CompanySettings {
  std::string section;           // ZEV01_SEZDOC
  std::string document_type;     // ZEV01_DOCUM_MG36
  std::string cash_account;      // ZEV01_CASSA_CG24
  std::string bank_account;      // ZEV01_BANCA1_CG24
  Decimal generic_customer;      // ZEV01_CLIFOR_CG44
  std::string deposit;           // ZEV01_CODDEP_MG58
  std::string payment_terms;     // ZEV01_CODPAG_CG62
  Decimal branch;                // ZEV01_CODICE_CG31
  std::int16_t account_type = 0;  // ZEV01_TIPOCONTO
  std::int32_t search_mode = 0;   // ZEV01_INDASSOCLI
  bool member_documents = false;  // ZEV01_FLGDOCSOCI
};

struct DocumentContext {
  CompanySettings company;
  std::int16_t gym_company = 0;
  std::string receipt_type;
  Decimal receipt_id;
  std::int32_t receipt_number = 0;
  Value receipt_date;
  Value document_year;
  std::int32_t gym_customer = 0;
  Value gym_customer_raw;
  Value vat_number;
  std::string customer_name;
  std::string address1;
  std::string address2;
  bool member = false;
  Value erp_customer;
  std::string document_type;
  std::string section;
  std::string section_default;   // MG3G_SEZDEFAULT of the document type
  bool no_footer_defaults = false;  // MG36_INDDEFPIE = 0
  std::string payment_code;
  std::string payment_description;
  std::string loaded_payment_code;
  std::string deposit;
  Value branch;
  std::string cash_account;
  std::int16_t duplicate = 0;
  std::int16_t document_kind = 0;
};

}  // namespace zodadovez
