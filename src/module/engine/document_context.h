// The document context: the values of the ERP document being built from a receipt.
#pragma once

#include <cstdint>
#include <string>

#include "module/common/database.h"
#include "module/common/value.h"

namespace zodadovez {

// The settings of the receipt's gym company (ZEV01_AZIENDE).
struct CompanySettings {
  std::string section;            // ZEV01_SEZDOC
  std::string document_type;      // ZEV01_DOCUM_MG36
  std::string cash_account;       // ZEV01_CASSA_CG24
  std::string bank_account;       // ZEV01_BANCA1_CG24
  Decimal generic_customer;       // ZEV01_CLIFOR_CG44
  std::string deposit;            // ZEV01_CODDEP_MG58
  std::string payment_terms;      // ZEV01_CODPAG_CG62
  Decimal branch;                 // ZEV01_CODICE_CG31
  std::int16_t account_type = 0;  // ZEV01_TIPOCONTO
  std::int32_t search_mode = 0;   // ZEV01_INDASSOCLI
  bool member_documents = false;  // ZEV01_FLGDOCSOCI
};

// The customer fields: the gym user of the receipt and the ERP customer it becomes.
struct CustomerFields {
  Value tax_code;
  Value postal_code;
  Value town;
  Value province;
  Value town_code;     // CG01_CODICE, empty when the town was not found
  bool found = false;  // the ERP customer is known
  Recordset user;      // the user's Utenti row, kept by Leggi_Utente for the creation
};

// The fields of the document row being built.
struct RowFields {
  std::string vat_code;  // TrovaIva
  std::int32_t row_id = 0;
  std::string service_type;
  std::int16_t service_kind = 0;  // 999 when the service type is blank
  std::string revenue_category;   // CPMERCE
  std::string revenue_centre;     // CPMERCECR
  std::int16_t competence_flag = 0;
  std::int32_t enrolment_id = 0;
  std::int32_t till_movement_id = 0;
  std::string service_description;
  double quantity = 1;
  std::string article_code;
  std::string project_code;
  std::string article_description;
  std::string article_kind;  // "KIT" marks a kit article
  bool article_found = false;
  // The rest of the article coding fields: classification of the article being coded.
  std::string family_description;
  std::string subfamily_code;  // MG54
  std::string group_code;      // MG55
  std::string brand_code;      // MG64
  std::string brand_description;
  std::string stat_group1;   // MG74
  std::string stat_group2;   // MG75
  Decimal article_vat_rate;  // CG28_PERCIVA of an existing article's VAT code
  std::int16_t row_type = 0;
  double unit_price = 0;
  Value amount;  // DO30_IMPORTO
  std::string revenue_account;
  bool kit_article = false;
  Recordset kit_components;
};

// The analytic accounts' level memory: the codes stored for each level 1 to 5 (index 0 unused),
// the parent of a level being the pair stored for the level above.
struct AnalyticLevel {
  Value code;
  Value formatted;
};

struct DocumentContext {
  CompanySettings company;
  CustomerFields customer;
  RowFields row;
  // Competence periods of the document and of the current row, as read (Empty when null).
  Value competence_start;
  Value competence_end;
  Value row_competence_start;
  Value row_competence_end;
  // Payment terms (effect type and subtype of the gym payment type; the effect-type-1 flag
  // of the document's terms) and the journal fix status.
  std::int16_t effect_type = 1;
  std::int16_t effect_subtype = 1;
  std::int16_t effect_type1 = 0;
  int journal_fix_status = 0;
  // The analytic level memory of the article being coded (levels 1 to 5 in order).
  AnalyticLevel analytic_levels[6];
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
  std::string section_default;      // MG3G_SEZDEFAULT of the document type
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
