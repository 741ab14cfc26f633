// Grouped daily documents: the rows of the receipt types set to be grouped, summed in
// #TEMPDOC, become one ERP document per day and document section, addressed to the gym
// company's default customer.
#include "module/engine/accorpati.h"

#include <fmt/format.h>

#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/transaction.h"
#include "module/config/storico.h"
#include "module/engine/documento.h"
#include "module/engine/esecuzioni.h"
#include "module/engine/import_run.h"
#include "module/engine/reports.h"
#include "module/engine/selezione.h"
#include "module/masterdata/conti.h"
#include "module/masterdata/iva.h"
#include "module/masterdata/lookups.h"
#include "module/masterdata/pagamenti.h"

namespace zodadovez {
namespace {

// From this patch level on, the gym stores the competence period on the receipt row.
constexpr std::int32_t kPatchOwnPeriod = 514100;

bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }
bool Blank(const Value& v) { return RTrimNz(v).empty(); }

// A value as read, Empty when Null.
Value AsRead(const Value& v) { return v.is_null() ? Value() : v; }

// The day of a #TEMPDOC line as the grouped document procedure takes it: its Italian text.
std::string DayText(const Value& v) {
  if (Blank(v)) return "";
  return FormatItalianDate(v.ToDate());
}

// "dd/mm/yyyy" of a day text.
std::string DayOnly(const std::string& day) {
  DateTime value;
  if (!TryParseItalianDate(day, &value) && !TryParseIsoDate(day, &value)) return day;
  return FormatItalianDate(std::chrono::floor<std::chrono::days>(value));
}

// The description of a grouped row: grouped rows carry no article, only the kind of service.
std::string RowDescription(std::int16_t kind, const std::string& service_description) {
  auto or_default = [&](const char* fallback) {
    return Blank(service_description) ? std::string(fallback) : service_description;
  };
  switch (kind) {
    case 12:
      return or_default("Bollo");
    case 1:
      return or_default("Abbonamenti");
    case 2:
      return or_default("Ticketing");
    case 3:
      return or_default("Vendite");
    case 4:
      return or_default("Quota Associativa");
    case 5:
      return or_default("Prenotazioni");
    case 6:
      return "Agenda Avanzata";
    case 7:
      return "BORSELLINO";
    case 8:
      return "CORSO NUOTO";
    case 9:
      return "CAUZIONE TESSERA";
    case 10:
      return "Medico Estetica";
    case 11:
      return "Movimento Manuale";
    default:
      return "";
  }
}

// Writes one document row per #TEMPDOC line of the group.
void ScriviRigheAccorpate(ImportRun& run, Recordset& lines) {
  DocumentContext& d = run.document;
  SalesDocument& doc = *run.sales_document;
  for (lines.move_first(); !lines.eof(); lines.move_next()) {
    doc.NewRow();
    std::string vat_description = Nz(lines["IvaDescrizione"], "").ToText();
    TrovaIva(run, Nz(lines["CodIva"], ""), vat_description);
    std::string vat_code = d.row.vat_code;
    d.row = RowFields();
    d.row.vat_code = vat_code;
    RowFields& r = d.row;
    r.service_type = RTrimNz(lines["ZEV03_TIPOSERVIZIO"]);
    r.service_kind = static_cast<std::int16_t>(NzDec(lines["ZEV03_INDTIPOSERV"]).ToInteger());
    if (run.state.patch_level < kPatchOwnPeriod) {
      d.row_competence_start = Value();
      d.row_competence_end = Value();
    } else {
      d.row_competence_start = AsRead(lines["DataInizio"]);
      d.row_competence_end = AsRead(lines["DataFine"]);
    }
    r.competence_flag = static_cast<std::int16_t>(NzDec(lines["ZEV03_FLGDATACOMP"]).ToInteger());
    r.revenue_category = RTrimNz(lines["CPMERCE"]);
    r.revenue_centre = RTrimNz(lines["CPMERCECR"]);
    r.service_description = Nz(lines["ZEV03_DESCR"], "").ToText();
    r.quantity = NzDec(lines["Qta"]).ToDouble();
    r.unit_price = NzDec(lines["PREZZOUNITARIO"]).ToDouble();
    r.row_type = 1;

    doc.Row().Set("DO30_INDTIPORIGA", r.row_type);
    doc.Row().Set("DO30_DESCART", RowDescription(r.service_kind, r.service_description));
    doc.SetQuantity(r.quantity);
    doc.SetPrice(r.unit_price);
    doc.SetVatCode(r.vat_code);
    r.revenue_account = Controlla_CPMerce(run, r.revenue_category, r.revenue_centre);
    if (!Blank(r.revenue_account)) doc.SetRevenueAccount(r.revenue_account);
    if (r.competence_flag == 1 && !Blank(d.row_competence_start) && !Blank(d.row_competence_end)) {
      doc.SetCompetenceStart(d.row_competence_start);
      doc.SetCompetenceEnd(d.row_competence_end);
      doc.Recompute();
    }
    doc.ConfirmRow();
  }
}

// "Inserimento Documento Accorpato": the document of one day and section.
void InserimentoDocumentoAccorpato(ImportRun& run, const std::string& day,
                                   const std::string& section) {
  DocumentContext& d = run.document;
  std::string document_type;
  try {
    // 1. The group's lines.
    Recordset lines = run.db().open("SELECT * FROM #TEMPDOC WHERE DATARICEVUTA = '" +
                                    SqlEscape(run.DateDB(Value(day))) +
                                    "' AND ZEV01_SEZDOC = " + SqlQuote(section));
    if (lines.eof()) {
      Reject(run, "RicevuteRighe",
             "Nessun record di dettaglio fatturato è stato trovato in data " + DayOnly(day));
    }

    // 2. The document values of the group's company settings, from its first line.
    d.section = Nz(lines["ZEV01_SEZDOC"], "").ToText();
    d.cash_account = Nz(lines["ZEV01_CASSA_CG24"], "").ToText();
    d.document_type = Nz(lines["ZEV02_DOCUM_MG36"], "").ToText();
    document_type = d.document_type;
    d.erp_customer =
        Value(static_cast<std::int64_t>(NzDec(lines["ZEV01_CLIFOR_CG44"]).ToInteger()));
    d.deposit = Nz(lines["ZEV01_CODDEP_MG58"], "").ToText();
    d.payment_code = Nz(lines["ZEV01_CODPAG_CG62"], "").ToText();
    d.branch = NzDec(lines["ZEV01_CODICE_CG31"]);
    d.company.account_type = static_cast<std::int16_t>(NzDec(lines["ZEV01_TIPOCONTO"]).ToInteger());
    d.gym_company = static_cast<std::int16_t>(NzDec(lines["ZEV01_AZIENDA"]).ToInteger());
    d.competence_start = Value();
    d.competence_end = Value();
    d.row_competence_start = Value();
    d.row_competence_end = Value();

    // 3-4. The host document object and the header.
    CollegaDocumento(run, d.document_type);
    SalesDocument& doc = *run.sales_document;
    for (int i = 0; i < 7; ++i) doc.Prepare("1=0");
    doc.NewDocument();
    DocumentRecord& header = doc.Header();
    if (!Blank(d.section)) header.Set("DO11_SEZDOC", d.section);
    doc.SetCustomer(d.erp_customer);
    header.Set("DO11_TIPOCF_CG44", 0);
    if (!Blank(d.payment_code)) doc.SetPayment(d.payment_code);
    if (!NzDec(d.branch).ToDecimal().is_zero()) header.Set("DO11_CODSEDE_CG31", d.branch);
    if (!Blank(d.deposit)) header.Set("DO11_CODDEP", d.deposit);
    doc.SetDate(Value(day).ToDate());

    // 5. One row per line.
    ScriviRigheAccorpate(run, lines);

    // 6. Save, count, and fix the journal of cash payments. The host reports a failed save
    // through its error indicator, which grouped documents do not read.
    // The document and its ledger row are stored together or not at all. A save the host
    // refused is a rejection: counted as imported and put in the ledger, the day would never be
    // stored.
    Transaction transaction(run.db());
    doc.Save();
    if (doc.error() != 0) {
      Reject(run, "RicevutaTestata",
             fmt::format("Riscontrato problema nella memorizzazione del Documento Accorpato del "
                         "{} sezione {}: {}",
                         day, section, doc.error_description()));
    }
    std::string payment_code = doc.LastValue("DO11_DOCTESTATA", "DO11_CODPAG_CG62");
    const std::string registration = doc.LastValue("DO11_DOCTESTATA", "DO11_NUMREG_CO99");
    RunState& state = run.state;
    const bool second_copy = state.group_day.kind() == ValueKind::kDate &&
                             state.stored.Has(state.group_day.as_date(), d.section);
    RegistraDocumento(run, {0, state.group_day, d.section}, d.document_type, registration,
                      second_copy);
    DocumentoMemorizzato(run, registration, payment_code);
    transaction.Commit();
    if (second_copy) ++state.second_copies;
  } catch (const Rejection&) {
    RegistraScarto(run, {0, run.state.group_day, section}, run.state.result_text);
    try {
      ScriviRisultato(run);
    } catch (const std::exception& e) {
      run.RecordError("Inserimento Documento Accorpato-- >  " + document_type, e);
      return;
    }
  } catch (const std::exception& e) {
    run.RecordError("Inserimento Documento Accorpato-- >  " + document_type, e);
    return;
  }
  // 7. The end of the group, saved or rejected.
  ContaCheckpoint(run);
}

// Whether a grouped day stored before the run ledger existed has its document: one of that
// day, section, document type and customer that stands for no receipt (DO11_NUMDOCORIG empty).
bool GiornoConDocumento(ImportRun& run, const Value& day, const std::string& section) {
  const std::string date = SqlQuote(run.DateDB(day));
  Recordset first = run.db().open(
      "SELECT ZEV02_DOCUM_MG36, ZEV01_CLIFOR_CG44 FROM #TEMPDOC WHERE DATARICEVUTA = " + date +
      " AND ZEV01_SEZDOC = " + SqlQuote(section));
  if (first.eof()) return false;
  Recordset rs = run.db().open(fmt::format(
      "SELECT DO11_NUMREG_CO99 FROM DO11_DOCTESTATA WITH (NOLOCK) WHERE DO11_DITTA_CG18 = {} AND "
      "DO11_DATADOC = {} AND DO11_SEZDOC = {} AND DO11_DOCUM_MG36 = {} AND DO11_CLIFOR_CG44 = {} "
      "AND DO11_NUMDOCORIG IS NULL",
      run.company, date, SqlQuote(section), SqlQuote(RTrimNz(first["ZEV02_DOCUM_MG36"])),
      NzDec(first["ZEV01_CLIFOR_CG44"]).ToInteger()));
  return !rs.eof();
}

}  // namespace

bool GestDocAccorpato(ImportRun& run, const std::string& condition, std::int16_t configuration_id) {
  RunState& state = run.state;
  bool found = false;
  try {
    run.db().execute("IF OBJECT_ID('tempdb..#TEMPDOC') IS NOT NULL DROP TABLE #TEMPDOC ");
    run.db().execute(fmt::format(
        "SELECT ZEV01_DITTA_CG18, ZEV01_AZIENDA, ZEV01_SEZDOC, "
        "ZEV01_CASSA_CG24,ZEV01_CLIFOR_CG44,ZEV02_DOCUM_MG36, ZEV01_CODDEP_MG58, "
        "ZEV01_TIPOCONTO, ZEV01_CODPAG_CG62,ZEV01_CODICE_CG31, DATARICEVUTA, PREZZOUNITARIO, "
        "IvaDescrizione, CENTRIRICAVOCATEGORIE.CODICE AS CPMERCE, CENTRIRICAVO.CODICE AS "
        "CPMERCECR, CASSAMOVIMENTI.TIPOSERVIZIO, TIPOSERV.ZEV03_INDTIPOSERV, "
        "TIPOSERV.ZEV03_TIPOSERVIZIO, TIPOSERV.ZEV03_DESCR, TIPOSERV.ZEV03_FLGDATACOMP, CASE "
        "WHEN TIPOSERV.ZEV03_FLGDATACOMP = 1 THEN ISNULL(RICEVUTERIGA.DataInizioOrigine, "
        "AI.DataInizio) ELSE NULL END as DataInizio,CASE WHEN TIPOSERV.ZEV03_FLGDATACOMP = 1 "
        "THEN ISNULL(RICEVUTERIGA.DataFineOrigine, AI.DataFine) ELSE NULL END as DataFine, "
        "(SELECT TOP 1 CODICEIVA FROM {0}.DBO.RICEVUTEIVA WITH (NOLOCK) WHERE  RICEVUTEIVA.IVA "
        "= RICEVUTERIGA.IVA AND RICEVUTERIGA.IVADESCRIZIONE = RICEVUTEIVA.DESCRIZIONE) AS "
        "CODIVA, SUM(QTA) AS QTA INTO #TEMPDOC FROM ZEV90_PARAMETRI WITH (NOLOCK) INNER JOIN "
        "ZEV91_DITTE WITH (NOLOCK) ON ZEV90_ID = ZEV91_IDPARAM_ZEV90 AND ZEV90_DITTA_CG18 = "
        "ZEV91_DITTA_VT INNER JOIN ZEV01_AZIENDE WITH (NOLOCK) ON ZEV01_IDPARAM_ZEV90 = "
        "ZEV91_IDPARAM_ZEV90 AND ZEV01_AZIENDA = ZEV91_IDAZIENDA AND ZEV01_DITTA_CG18 = "
        "ZEV91_DITTA_VT INNER JOIN ZEV02_GYMVELTA WITH (NOLOCK) ON ZEV01_DITTA_CG18 = "
        "ZEV02_DITTA_CG18 AND ISNULL(ZEV02_TRAS_IN_VT, 0) = 1 AND ISNULL(ZEV02_ACCORPADOC,0) = "
        "1 INNER JOIN {0}.DBO.RICEVUTETESTATA WITH (NOLOCK) ON RICEVUTETESTATA.TIPORICEVUTA = "
        "ZEV02_TIPORICEVUTA COLLATE LATIN1_GENERAL_CI_AS AND RICEVUTETESTATA.IDRICEVUTEAZIENDA "
        "= ZEV01_AZIENDA INNER JOIN {0}.DBO.RICEVUTERIGA WITH (NOLOCK) ON "
        "RICEVUTETESTATA.IDRicevuta = RICEVUTERIGA.IDRicevuta LEFT OUTER JOIN "
        "{0}.DBO.CASSAMOVIMENTI WITH (NOLOCK) ON RICEVUTERIGA.IDCASSAMOVIMENTO = "
        "CASSAMOVIMENTI.IDCASSAMOVIMENTO LEFT OUTER JOIN ZEV03_TIPISERVIZI AS TIPOSERV WITH "
        "(NOLOCK)  ON CASSAMOVIMENTI.TIPOSERVIZIO = ZEV03_TIPOSERVIZIO COLLATE "
        "LATIN1_GENERAL_CI_AS AND ZEV90_PARAMETRI.ZEV90_DITTA_CG18 = TIPOSERV.ZEV03_DITTA_CG18 "
        "left outer join {0}.dbo.AbbonamentiIscrizione as AI with (NOLOCK) on "
        "CASSAMOVIMENTI.idiscrizione=AI.idiscrizione LEFT OUTER JOIN {0}.DBO.CENTRIRICAVO WITH "
        "(NOLOCK) ON CENTRIRICAVO.IDCENTRO  = CASE WHEN CASSAMOVIMENTI.TIPOSERVIZIO = 'B'      "
        "                    THEN (SELECT IDCENTRO FROM {0}.DBO.BE WHERE "
        "BE.IDBE=Cassamovimenti.IDServizio)                          ELSE "
        "RICEVUTERIGA.IDCENTRORICAVO END LEFT OUTER JOIN {0}.DBO.CENTRIRICAVOCATEGORIE WITH "
        "(NOLOCK) ON CENTRIRICAVOCATEGORIE.IDCENTROCATEGORIA = CENTRIRICAVO.IDCENTROCATEGORIA "
        "{1} AND ZEV90_ID = {2} GROUP BY ZEV01_DITTA_CG18, ZEV01_AZIENDA, ZEV01_SEZDOC, "
        "ZEV01_CASSA_CG24,ZEV01_CLIFOR_CG44,ZEV02_DOCUM_MG36, ZEV01_CODDEP_MG58, "
        "ZEV01_TIPOCONTO,  ZEV01_CODPAG_CG62,ZEV01_CODICE_CG31, DATARICEVUTA, PREZZOUNITARIO, "
        "IVA, IvaDescrizione,  CENTRIRICAVOCATEGORIE.CODICE , CASSAMOVIMENTI.TIPOSERVIZIO, "
        "TIPOSERV.ZEV03_INDTIPOSERV, TIPOSERV.ZEV03_TIPOSERVIZIO, TIPOSERV.ZEV03_DESCR, "
        "TIPOSERV.ZEV03_FLGDATACOMP ,CASE WHEN TIPOSERV.ZEV03_FLGDATACOMP = 1 THEN "
        "ISNULL(RICEVUTERIGA.DataInizioOrigine, AI.DataInizio) ELSE NULL END,CASE WHEN "
        "TIPOSERV.ZEV03_FLGDATACOMP = 1 THEN ISNULL(RICEVUTERIGA.DataFineOrigine, AI.DataFine) "
        "ELSE NULL END,CENTRIRICAVO.CODICE ORDER BY DATARICEVUTA, ZEV01_SEZDOC ",
        state.gym_database, condition, configuration_id));

    Recordset groups = run.db().open(
        "SELECT DISTINCT DATARICEVUTA, ZEV01_SEZDOC FROM #TEMPDOC ORDER BY DATARICEVUTA, "
        "ZEV01_SEZDOC");
    if (!groups.eof()) {
      // The run's dates are kept and extended by the grouped days, so that the history row
      // covers them: a row without dates would let the next "Normale" run store them again.
      state.present_before_groups += NzDec(state.present).ToInteger();
      state.imported_before_groups += NzDec(state.imported).ToInteger();
      state.present = Value(0);
      state.imported = Value(0);
      auto count = static_cast<std::int64_t>(groups.record_count());
      state.present = Value(count);
      found = true;
      state.phase = "giorni accorpati";
      run.Progress("Open", static_cast<double>(count));
      run.Progress("Tot", static_cast<double>(count));
      for (; !groups.eof() && !run.StopRequested(); groups.move_next()) {
        run.DoEvents();
        run.Progress("View", 0);
        const Value& day = groups["DATARICEVUTA"];
        const std::string section = Nz(groups["ZEV01_SEZDOC"], "").ToText();
        EstendiDate(state, day);
        if (state.skip_stored && day.kind() == ValueKind::kDate &&
            (state.stored.Has(day.as_date(), section) ||
             (run.options().only_missing && GiornoConDocumento(run, day, section)))) {
          ++state.already_stored;
          state.present = Value(NzDec(state.present).ToInteger() - 1);
          continue;
        }
        state.group_day = day;
        InserimentoDocumentoAccorpato(run, DayText(day), section);
      }
    }
    groups.close();

    // The counters repeat those of the single documents when there was nothing to group.
    RilasciaDocumento(run);
    run.Progress("Close", 0);
    ScriviStorico(run);
    ScriviContatori(run);
  } catch (const std::exception& e) {
    run.RecordError("GestDocAccorpato --> ", e);
  }
  return found;
}

}  // namespace zodadovez
