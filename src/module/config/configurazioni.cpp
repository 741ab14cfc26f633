// The readers of the import configuration tables: the configuration list, the service type
// codes by kind and the settings of a gym company.
#include "module/config/configurazioni.h"

#include <fmt/format.h>

#include <exception>
#include <optional>

#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/engine/document_context.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// The first ZEV03_TIPOSERVIZIO of the kind, "" when there is none. Errors propagate.
std::string TipoServizio(ImportRun& run, int kind) {
  Recordset rs = run.db().open(
      fmt::format("SELECT ZEV03_TIPOSERVIZIO FROM ZEV03_TIPISERVIZI WITH (NOLOCK) WHERE "
                  "ZEV03_DITTA_CG18 = {} AND ZEV03_INDTIPOSERV = {}",
                  run.company, kind));
  if (rs.eof()) return std::string();
  return RTrimNz(rs["ZEV03_TIPOSERVIZIO"]);
}

// A text column through Nz with the empty text as default: the value as stored, not trimmed.
std::string NzText(const Value& value) { return Nz(value, std::string()).ToText(); }

}  // namespace

void ListaConfigurazioni(ImportRun& run) {
  try {
    Recordset rs = run.db().open(fmt::format(
        "SELECT DISTINCT ZEV90_PARAMETRI.*, 1 AS SELEZIONE FROM ZEV90_PARAMETRI  INNER JOIN "
        "ZEV91_DITTE  ON ZEV90_PARAMETRI.ZEV90_DITTA_CG18 = ZEV91_DITTE.ZEV91_DITTA_VT  AND "
        "ZEV90_PARAMETRI.ZEV90_ID = ZEV91_DITTE.ZEV91_IDPARAM_ZEV90  WHERE ZEV90_DITTA_CG18 = {} "
        "ORDER BY ZEV90_ID",
        run.company));
    std::optional<Recordset> copy = CreaRecordSetAttivo(rs);
    if (!copy) return;
    // The grid and the run driver share the rows: ticks made in the grid are what the driver
    // filters on.
    run.configurations = std::move(*copy);
  } catch (const std::exception& e) {
    run.RecordError("ListaConfigurazioni", e);
  }
}

std::string LeggiTipoServizio(ImportRun& run, int kind) {
  try {
    return TipoServizio(run, kind);
  } catch (const std::exception& e) {
    run.RecordError("LeggiTipoServizio", e);
    return std::string();
  }
}

void LeggiTipiServizio(ImportRun& run) {
  struct Kind {
    int kind;
    std::string* code;
    const char* default_code;
  };
  const Kind kinds[] = {{4, &run.service_type_fee, "I"},
                        {2, &run.service_type_ticket, "T"},
                        {3, &run.service_type_bar, "V"},
                        {12, &run.service_type_generic, "U"}};
  for (const Kind& k : kinds) {
    // A failed read keeps the code the window held before.
    try {
      std::string code = TipoServizio(run, k.kind);
      *k.code = code.empty() ? k.default_code : code;
    } catch (const std::exception& e) {
      run.RecordError("LeggiTipoServizio", e);
    }
  }
}

void LeggiAzienda(ImportRun& run, std::int64_t gym_company, CompanySettings& settings) {
  // Section, cash account, search mode and members flag survive from the previous gym company
  // when this one has no row; the rest starts from nothing.
  settings.document_type.clear();
  settings.bank_account.clear();
  settings.generic_customer = Decimal(0);
  settings.deposit.clear();
  settings.payment_terms.clear();
  settings.branch = Decimal(0);
  settings.account_type = 0;
  try {
    Recordset rs = run.db().open(
        fmt::format("SELECT * FROM ZEV01_AZIENDE WITH (NOLOCK) WHERE ZEV01_DITTA_CG18 = {} AND "
                    "ZEV01_IDPARAM_ZEV90 = {} AND ZEV01_AZIENDA = {}",
                    run.company, run.state.configuration_id, gym_company));
    if (rs.eof()) return;
    // Read into a copy so that a value that does not convert leaves the settings as cleared.
    CompanySettings read = settings;
    read.section = NzText(rs["ZEV01_SEZDOC"]);
    read.document_type = NzText(rs["ZEV01_DOCUM_MG36"]);
    read.cash_account = NzText(rs["ZEV01_CASSA_CG24"]);
    read.bank_account = NzText(rs["ZEV01_BANCA1_CG24"]);
    read.generic_customer = NzDec(rs["ZEV01_CLIFOR_CG44"]).ToDecimal();
    read.deposit = NzText(rs["ZEV01_CODDEP_MG58"]);
    read.payment_terms = NzText(rs["ZEV01_CODPAG_CG62"]);
    read.branch = NzDec(rs["ZEV01_CODICE_CG31"]).ToDecimal();
    std::int64_t account_type = Nz(rs["ZEV01_TIPOCONTO"], 0).ToInteger();
    std::int64_t search_mode = Nz(rs["ZEV01_INDASSOCLI"], 0).ToInteger();
    if (account_type < INT16_MIN || account_type > INT16_MAX || search_mode < INT32_MIN ||
        search_mode > INT32_MAX) {
      throw ArithmeticError(fmt::format("ZEV01_AZIENDE of gym company {}: ZEV01_TIPOCONTO {} or "
                                        "ZEV01_INDASSOCLI {} out of range",
                                        gym_company, account_type, search_mode),
                            ArithmeticError::kOverflow);
    }
    read.account_type = static_cast<std::int16_t>(account_type);
    read.search_mode = static_cast<std::int32_t>(search_mode);
    // Only 1 means yes: any other value, NULL included, makes no member documents.
    read.member_documents = Nz(rs["ZEV01_FLGDOCSOCI"], 0).ToDecimal() == Decimal(1);
    settings = std::move(read);
  } catch (const std::exception& e) {
    run.RecordError("LeggiAzienda", e);
  }
}

}  // namespace zodadovez
