// The receipt document procedure and its rows.
#include "module/engine/documento.h"

#include <fmt/format.h>

#include "module/articles/articoli.h"
#include "module/articles/classificazione.h"
#include "module/articles/codifica.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"
#include "module/common/transaction.h"
#include "module/common/utf8.h"
#include "module/config/configurazioni.h"
#include "module/engine/accorpati.h"
#include "module/engine/competenza.h"
#include "module/engine/esecuzioni.h"
#include "module/engine/import_run.h"
#include "module/engine/kit.h"
#include "module/engine/reports.h"
#include "module/engine/selezione.h"
#include "module/masterdata/clienti.h"
#include "module/masterdata/conti.h"
#include "module/masterdata/iva.h"
#include "module/masterdata/lookups.h"
#include "module/masterdata/pagamenti.h"

namespace zodadovez {
namespace {

// A receipt that already has its document, left alone by a run for the missing ones only.
class AlreadyStored : public Error {
 public:
  AlreadyStored() : Error("receipt already stored") {}
};

bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }
bool Blank(const Value& v) { return RTrimNz(v).empty(); }

// "RicevutaAzienda = 1 TipoRicevuta = S IDRicevuta = 1001 / NumeroRicevuta = 5 / DataDoc = ..."
std::string Key(const DocumentContext& d) {
  return fmt::format(
      "RicevutaAzienda = {} TipoRicevuta = {} IDRicevuta = {} / NumeroRicevuta = {} / DataDoc = "
      "{}",
      d.gym_company, d.receipt_type, Value(d.receipt_id).ToText(), d.receipt_number,
      d.receipt_date.ToText());
}

// Clears the document context for a new receipt; the payment code whose terms were ensured
// last stays known across receipts.
void AzzeraDocumento(DocumentContext& d) {
  std::string loaded = std::move(d.loaded_payment_code);
  d = DocumentContext();
  d.loaded_payment_code = std::move(loaded);
}

// The kind of an article the row sells when the service kind fixes it.
struct FixedArticle {
  std::int16_t kind;
  const char* code;
  const char* description;  // null: the service description, or `fallback` when blank
  const char* fallback;
  std::int16_t row_type;
};
constexpr FixedArticle kFixedArticles[] = {
    {4, "Q-A", nullptr, "Quota Associativa", 0},
    {5, "P-R", nullptr, "Prenotazioni", 0},
    {7, "BORSELLINO", "BORSELLINO", nullptr, 0},
    {8, "CORSO NUOTO", "CORSO NUOTO", nullptr, 0},
    {9, "CAUZIONE TESSERA", "CAUZIONE TESSERA", nullptr, 0},
    {10, "Medico Estetica", "Medico Estetica", nullptr, 0},
    {11, "Mov. manuale", "Movimento Manuale", nullptr, 0},
    {12, "BOLLO", nullptr, "Bollo", 1},
};

}  // namespace

[[noreturn]] void Reject(ImportRun& run, const std::string& label, const std::string& text) {
  run.state.result_label = label;
  run.state.result_text = text;
  throw Rejection();
}

std::string FirstCharacters(const std::string& s, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && count++ == n) return s.substr(0, i);
  }
  return s;
}

std::string QueryRigheRicevuta(ImportRun& run, const std::string& receipt_id) {
  const std::string& g = run.state.gym_database;
  return " SELECT RicevuteRiga.*, CassaMovimenti.*, CassaTipiPagamenti.Descrizione As DescPag, "
         "CentriRicavoCategorie.Codice As CPMERCE, CENTRIRICAVO.CODICE AS CPMERCECR,  "
         "TIPOSERV.ZEV03_INDTIPOSERV, TIPOSERV.ZEV03_TIPOSERVIZIO, TIPOSERV.ZEV03_DESCR, "
         "TIPOSERV.ZEV03_FLGCOIN , ZEV03_FLGDATACOMP,  (SELECT TOP 1 CODICEIVA FROM " +
         g +
         ".DBO.RICEVUTEIVA WITH (NOLOCK) WHERE  RICEVUTEIVA.IVA = RICEVUTERIGA.IVA AND "
         "RICEVUTERIGA.IVADESCRIZIONE = RICEVUTEIVA.DESCRIZIONE) AS CODIVA  FROM " +
         g + ".dbo.RicevuteRiga WITH (NOLOCK)  LEFT OUTER JOIN " + g +
         ".dbo.CassaMovimenti With (NOLOCK) ON RicevuteRiga.IDCassaMovimento = "
         "CassaMovimenti.IDCassaMovimento LEFT OUTER JOIN " +
         g +
         ".DBO.CENTRIRICAVO WITH (NOLOCK) ON CENTRIRICAVO.IDCENTRO  = CASE WHEN "
         "CASSAMOVIMENTI.TIPOSERVIZIO = 'B'                          THEN (SELECT IDCENTRO FROM " +
         g +
         ".DBO.BE WHERE BE.IDBE=Cassamovimenti.IDServizio)                          ELSE "
         "RICEVUTERIGA.IDCENTRORICAVO END  LEFT OUTER JOIN " +
         g +
         ".dbo.CentriRicavoCategorie With (NOLOCK) ON CentriRicavoCategorie.IDCentroCategoria = "
         "CentriRicavo.IDCentroCategoria  LEFT OUTER JOIN " +
         g +
         ".dbo.CassaTipiPagamenti With (NOLOCK) ON CassaMovimenti.IDTipoPagamento = "
         "CassaTipiPagamenti.IDTipoPagamento  LEFT OUTER JOIN ZEV03_TIPISERVIZI AS TIPOSERV WITH "
         "(NOLOCK)  ON CassaMovimenti.TipoServizio = ZEV03_TIPOSERVIZIO  collate "
         "Latin1_General_CI_AS AND ZEV03_DITTA_CG18 = " +
         std::to_string(run.company) + " WHERE RicevuteRiga.IDRicevuta = " + receipt_id +
         " AND ZEV03_FLGIMPORTA = 1 ";
}

void RipulisciTesti(ImportRun& run, Recordset& rs, const char* what) {
  std::string fields;
  for (std::size_t i = 0; i < rs.fields().size(); ++i) {
    const Value& v = rs.at(i);
    if (!v.is_text()) continue;
    std::string text = v.ToText();
    if (!RepairText(text)) continue;
    const std::string name = rs.fields()[i].name;
    rs.set(name, Value(std::move(text)));
    fields += (fields.empty() ? "" : ", ") + name;
  }
  if (fields.empty()) return;
  // Said, never silent: the text the ERP gets is not byte for byte the gym's.
  const DocumentContext& d = run.document;
  run.state.result_label.clear();
  run.state.result_text = fmt::format(
      "Testo corretto (carattere NUL o UTF-8 non valido) in {} ({}) della ricevuta: IDRicevuta = "
      "{} / NumeroRicevuta = {}",
      what, fields, Value(d.receipt_id).ToText(), d.receipt_number);
  ScriviRisultato(run);
}

void ScriviRigheDocumento(ImportRun& run, Recordset& rows) {
  DocumentContext& d = run.document;
  SalesDocument& doc = *run.sales_document;
  for (rows.move_first(); !rows.eof(); rows.move_next()) {
    // 1. A new row, its VAT code and competence period, then the row fields.
    doc.NewRow();
    std::string vat_description = Nz(rows["IvaDescrizione"], "").ToText();
    TrovaIva(run, Nz(rows["CodIva"], ""), vat_description);
    std::string vat_code = d.row.vat_code;
    std::int32_t row_id = static_cast<std::int32_t>(NzDec(rows["IdRicevuteRiga"]).ToInteger());
    // The row period was cleared with the document's: a row whose query finds nothing keeps
    // the period of the row before it.
    PrendoDateCompetenza(run, row_id);
    // The text fields start empty for every row; the article kind, the found flag and the VAT
    // rate of the last article looked up stay until the next lookup.
    std::string article_kind = std::move(d.row.article_kind);
    bool article_found = d.row.article_found;
    Decimal article_vat_rate = d.row.article_vat_rate;
    d.row = RowFields();
    d.row.article_kind = std::move(article_kind);
    d.row.article_found = article_found;
    d.row.article_vat_rate = article_vat_rate;
    d.row.vat_code = vat_code;
    d.row.row_id = row_id;
    d.row.row_type = 0;
    d.row.kit_article = false;
    RowFields& r = d.row;
    r.service_type = RTrimNz(rows["ZEV03_TIPOSERVIZIO"]);
    r.service_kind = static_cast<std::int16_t>(NzDec(rows["ZEV03_INDTIPOSERV"]).ToInteger());
    r.revenue_category = RTrimNz(rows["CPMERCE"]);
    r.revenue_centre = RTrimNz(rows["CPMERCECR"]);
    r.competence_flag = static_cast<std::int16_t>(NzDec(rows["ZEV03_FLGDATACOMP"]).ToInteger());
    r.enrolment_id = static_cast<std::int32_t>(NzDec(rows["IdIscrizione"]).ToInteger());
    r.till_movement_id = static_cast<std::int32_t>(NzDec(rows["IdCassaMovimento"]).ToInteger());
    r.service_description = Nz(rows["ZEV03_DESCR"], "").ToText();
    r.quantity = Blank(rows["Qta"]) ? 1.0 : rows["Qta"].ToDouble();

    // 2-4. The family of the service type, and the article the row sells.
    VerificaFamiglia(run, r.service_description, r.service_kind);
    if (Blank(r.service_type)) r.service_kind = 999;
    switch (r.service_kind) {
      case 1:
        CodificaArticolo_Abb(run, r.enrolment_id);
        break;
      case 2:
        CodificaArticolo_Ticket(run, r.till_movement_id);
        break;
      case 3:
        Search_Articolo(run, r.enrolment_id);
        r.row_type = r.article_found ? 0 : 1;
        if (r.article_found && RTrimNz(Value(r.article_kind)) == "KIT") {
          TestKit(run, r.article_code, r.quantity);
        }
        break;
      case 6:
        CodificaArticolo_Agenda(run, r.enrolment_id);
        break;
      default:
        break;
    }
    for (const FixedArticle& a : kFixedArticles) {
      if (a.kind != r.service_kind) continue;
      r.article_code = a.code;
      r.article_description = a.description != nullptr       ? a.description
                              : Blank(r.service_description) ? a.fallback
                                                             : r.service_description;
      r.row_type = a.row_type;
    }
    if (r.service_kind != 1 && r.service_kind != 3) r.project_code = r.article_code;

    // 5-8. Row type, article, description.
    if (Blank(r.article_code)) r.row_type = 1;
    doc.Row().Set("DO30_INDTIPORIGA", r.row_type);
    if (r.row_type == 0) {
      ScrivoArticolo(run, r.article_code, r.article_description,
                     NzDec(rows["ZEV03_FLGCOIN"]).ToDecimal() == Decimal(1));
    }
    doc.SetArticle(r.article_code);
    doc.Row().Set("DO30_DESCART", FirstCharacters(Nz(rows["Descrizione"], "").ToText(), 1600));

    // 9. Price and quantity: a document of kind 6 carries its prices as positive amounts.
    r.unit_price = Blank(rows["PrezzoUnitario"]) ? 0.0 : rows["PrezzoUnitario"].ToDouble();
    double price = r.unit_price;
    if (d.document_kind == 6 && price < 0) price = -price;
    doc.SetPrice(price);
    doc.SetQuantity(r.quantity);
    r.amount = doc.Row().Get("DO30_IMPORTO");

    // 10-12. VAT, deposit, payment, revenue account.
    doc.SetVatCode(r.vat_code);
    if (!Blank(d.deposit)) doc.Row().Set("DO30_CODDEP_MG58", d.deposit);
    const Value& payment_type = rows["IDTipoPagamento"];
    d.payment_code = Blank(payment_type) ? "0" : NzDec(payment_type).ToText();
    if (d.payment_code != d.loaded_payment_code) {
      ScrivoCondPag(run);
      d.loaded_payment_code = d.payment_code;
    }
    doc.SetRowPayment(d.payment_code);
    r.revenue_account = Controlla_CPMerce(run, r.revenue_category, r.revenue_centre);
    if (!Blank(r.revenue_account)) doc.SetRevenueAccount(r.revenue_account);

    // 13. The competence period of the rows that ask for it.
    if ((r.row_type < 2 || r.kit_article) && r.competence_flag == 1 &&
        !Blank(d.row_competence_start) && !Blank(d.row_competence_end)) {
      doc.SetCompetenceStart(d.row_competence_start);
      doc.SetCompetenceEnd(d.row_competence_end);
      doc.Recompute();
    }
    doc.ConfirmRow();

    // 15. A kit row brings its components, or says that its bill is missing.
    if (r.kit_article && r.kit_components.is_open()) {
      if (r.kit_components.eof()) {
        run.state.result_label = "Gestione Kit";
        run.state.result_text = fmt::format(
            "Nel Documento VT N. --> {} per il documento GS: TipoRicevuta = {} IDRicevuta = {} / "
            "NumeroRicevuta = {} / DataDoc = {}\nKit mancante per il servizio {}",
            d.receipt_number, d.receipt_type, Value(d.receipt_id).ToText(), d.receipt_number,
            d.receipt_date.ToText(), RTrimNz(Value(r.service_type)));
        ScriviRisultato(run);
      } else {
        GeneraRigheDocKit(run);
      }
    }
  }
}

void InserimentoDocumento(ImportRun& run, Recordset& receipt, std::string& document_type) {
  DocumentContext& d = run.document;
  RunState& state = run.state;
  try {
    // 1. The receipt header.
    AzzeraDocumento(d);
    d.member = false;
    d.receipt_id = NzDec(receipt["IDRicevuta"]).ToDecimal();
    d.receipt_number = static_cast<std::int32_t>(NzDec(receipt["NumeroRicevuta"]).ToInteger());
    RipulisciTesti(run, receipt, "RicevuteTestata");
    d.gym_company = static_cast<std::int16_t>(NzDec(receipt["IDRicevuteAzienda"]).ToInteger());
    d.receipt_type = Nz(receipt["TipoRicevuta"], "").ToText();
    d.receipt_id = NzDec(receipt["IDRicevuta"]).ToDecimal();
    d.receipt_number = static_cast<std::int32_t>(NzDec(receipt["NumeroRicevuta"]).ToInteger());
    const Value& date = receipt["DataRicevuta"];
    d.receipt_date = date.is_null() ? Value() : date;
    if (!d.receipt_date.is_empty()) {
      auto ymd = std::chrono::year_month_day(
          std::chrono::floor<std::chrono::days>(d.receipt_date.ToDate()));
      d.document_year = Value(static_cast<int>(ymd.year()));
    }
    d.gym_customer_raw = receipt["IDUtente"];
    d.gym_customer = static_cast<std::int32_t>(NzDec(d.gym_customer_raw).ToInteger());
    d.vat_number = receipt["PIVA"];
    d.customer_name = UpperCase(Nz(receipt["Cliente"], "").ToText());
    d.address1 = UpperCase(Nz(receipt["Indirizzo_1"], "").ToText());
    d.address2 = UpperCase(Nz(receipt["Indirizzo_2"], "").ToText());
    Dividi_Localita(run, d.address2);

    // 2. The run's receipt dates.
    if (!d.receipt_date.is_empty()) {
      DateTime day = d.receipt_date.ToDate();
      if (state.date_first.is_empty() || day < state.date_first.ToDate())
        state.date_first = Value(day);
      if (state.date_last.is_empty() || state.date_last.ToDate() < day)
        state.date_last = Value(day);
    }

    // 3. The rows.
    Recordset rows = run.db().open(QueryRigheRicevuta(run, Value(d.receipt_id).ToText()));
    for (rows.move_first(); !rows.eof(); rows.move_next())
      RipulisciTesti(run, rows, "RicevuteRiga");
    rows.move_first();
    if (rows.eof()) {
      Reject(run, "RicevuteRighe",
             "Nessun record di dettaglio fatturato è stato trovato per la chiave: " + Key(d));
    }

    // 4-5. The customer's membership against member-only and non-member-only services.
    std::size_t row_count = rows.record_count();
    bool has_customer = !d.gym_customer_raw.is_null() && !d.gym_customer_raw.is_empty();
    if (has_customer) Leggi_Utente(run);
    LeggiAzienda(run, d.gym_company, d.company);
    std::string service;
    std::string message;
    if (!d.member) {
      service = run.service_type_fee;
      message = "Attenzione Quota Associativa riferita ad un cliente NON SOCIO";
    } else if (!d.company.member_documents) {
      service = run.service_type_ticket;
      message = "Attenzione Ticketing riferito ad un cliente SOCIO";
    }
    rows.filter("TipoServizio = " + SqlQuote(service));
    std::size_t matching = rows.record_count();
    rows.filter("");
    if (matching == row_count) {
      Reject(run, "RicevuteRighe", message + ", documento N.:  " + Key(d));
    }

    // 6. The payment type of the first row that has one.
    rows.filter("IDTipoPagamento <> NULL");
    if (!rows.eof()) {
      d.payment_code = rows["IDTipoPagamento"].ToText();
      d.payment_description = Nz(rows["DescPag"], "").ToText();
    }
    rows.filter("");

    // 7. Defaults.
    LeggiSezioneDefault(run, document_type);
    d.section = Blank(d.company.section) ? d.section_default : d.company.section;
    d.document_type = Blank(d.company.document_type) ? document_type : d.company.document_type;
    if (Blank(d.payment_code)) d.payment_code = d.company.payment_terms;
    if (!Blank(d.payment_code) && d.payment_code != d.loaded_payment_code) {
      ScrivoCondPag(run);
      d.loaded_payment_code = d.payment_code;
    }
    d.deposit =
        Blank(d.company.deposit) ? run.company_parameters.default_deposit : d.company.deposit;
    d.branch = Value(d.company.branch);
    d.cash_account = d.company.cash_account;

    // 8-9. The customer.
    d.erp_customer = Value(0);
    if (has_customer) {
      if (Leggi_Utente(run)) {
        d.erp_customer = Value(static_cast<std::int64_t>(d.gym_customer));
      } else {
        run.state.result_label = "Utenti";
        run.state.result_text = fmt::format(
            "Utente {} non trovato del documento: RicevutaAzienda = {} TipoRicevuta = {} Fattura "
            "Numero {} del {}",
            d.gym_customer, d.gym_company, d.receipt_type, d.receipt_number,
            d.receipt_date.ToText());
        ScriviRisultato(run);
      }
    }
    bool no_customer = NzDec(d.erp_customer).ToDecimal().is_zero();
    if (d.company.generic_customer.is_zero() && no_customer) Reject(run, "", "");
    if (no_customer) {
      d.erp_customer = Value(d.company.generic_customer);
    } else {
      Trova_Cliente(run);
    }

    // 10. A receipt already stored is imported again, marked as a duplicate.
    Recordset duplicate = run.db().open(fmt::format(
        "SELECT DO11_NUMREG_CO99 FROM DO11_DOCTESTATA WITH (NOLOCK) WHERE DO11_DITTA_CG18 = {} "
        "AND DO11_NUMDOC = {} AND DO11_SEZDOC = '{}' AND DO11_DOCUM_MG36 = '{}' AND "
        "DO11_ANNODOC = '{}'",
        run.company, d.receipt_number, SqlEscape(d.section), SqlEscape(d.document_type),
        d.document_year.is_empty() ? std::string() : d.document_year.ToText()));
    // Asked for the missing documents only, a receipt that has one is left as it is. A receipt
    // without number is known by its id (DO11_NUMDOCORIG).
    if (run.options().only_missing) {
      if (!duplicate.eof()) throw AlreadyStored();
      if (d.receipt_number == 0) {
        Recordset by_id = run.db().open(fmt::format(
            "SELECT DO11_NUMREG_CO99 FROM DO11_DOCTESTATA WITH (NOLOCK) WHERE DO11_DITTA_CG18 = "
            "{} AND DO11_NUMDOCORIG = {} AND DO11_DOCUM_MG36 = {}",
            run.company, Value(d.receipt_id).ToText(), SqlQuote(d.document_type)));
        if (!by_id.eof()) throw AlreadyStored();
      }
    }
    if (!duplicate.eof()) {
      run.state.result_label = "RicevutaTestata";
      run.state.result_text = fmt::format(
          " RicevutaAzienda = {} TipoRicevuta = {} Fattura Numero {} del {} già presente, "
          "importata con FLGABIS=1",
          d.gym_company, d.receipt_type, d.receipt_number, d.receipt_date.ToText());
      ScriviRisultato(run);
      d.duplicate = 1;
    }
    duplicate.close();

    // 11. The host document object, bound once per document type.
    std::string type = RTrimNz(Value(d.document_type));
    if (type != RTrimNz(Value(state.bound_document_type))) {
      if (!Blank(state.bound_document_type)) RilasciaDocumento(run);
      state.bound_document_type = type;
      LeggiTipoDocumento(run);
    }
    CollegaDocumento(run, d.document_type);
    SalesDocument& doc = *run.sales_document;

    // 12. The header.
    for (int i = 0; i < 7; ++i) doc.Prepare("1=0");
    doc.NewDocument();
    DocumentRecord& header = doc.Header();
    if (!Blank(d.section)) header.Set("DO11_SEZDOC", d.section);
    doc.SetCustomer(d.erp_customer);
    header.Set("DO11_TIPOCF_CG44", 0);
    d.document_kind = static_cast<std::int16_t>(NzDec(header.Get("DO11_TIPODOC")).ToInteger());
    if (!Blank(d.payment_code)) doc.SetPayment(d.payment_code);
    if (!NzDec(d.branch).ToDecimal().is_zero()) header.Set("DO11_CODSEDE_CG31", d.branch);
    if (d.receipt_number != 0) {
      doc.SetNumber(d.receipt_number);
    } else {
      header.Set("DO11_NUMDOCORIG", Value(d.receipt_id));
    }
    if (!Blank(d.deposit)) header.Set("DO11_CODDEP", d.deposit);
    header.Set("DO11_FLGDOCBIS", d.duplicate);
    doc.SetDate(d.receipt_date);

    // 13. The document's competence period, then the rows.
    d.competence_start = Value();
    d.competence_end = Value();
    d.row_competence_start = Value();
    d.row_competence_end = Value();
    std::int32_t document_level = 0;
    PrendoDateCompetenza(run, document_level);
    ScriviRigheDocumento(run, rows);

    // 14-15. Save, count, and fix the journal of cash payments.
    // The document and its ledger row are stored together or not at all.
    Transaction transaction(run.db());
    doc.Save();
    if (doc.error() != 0) {
      Reject(run, "RicevutaTestata",
             fmt::format("Riscontrato problema nella memorizzazione del Documento VT N. --> {} per "
                         "il documento GS: TipoRicevuta = {} IDRicevuta = {} / NumeroRicevuta = "
                         "{} / DataDoc = {}",
                         d.receipt_number, d.receipt_type, Value(d.receipt_id).ToText(),
                         d.receipt_number, d.receipt_date.ToText()));
    }
    const std::string registration = doc.LastValue("DO11_DOCTESTATA", "DO11_NUMREG_CO99");
    RegistraDocumento(run, {NzDec(Value(d.receipt_id)).ToInteger(), d.receipt_date, ""},
                      d.document_type, registration, d.duplicate != 0);
    DocumentoMemorizzato(run, registration, d.payment_code);
    transaction.Commit();
    if (d.duplicate != 0) ++state.second_copies;
  } catch (const AlreadyStored&) {
    ++state.already_stored;
    state.present = Value(NzDec(state.present).ToInteger() - 1);
  } catch (const Rejection&) {
    RegistraScarto(run, {NzDec(Value(d.receipt_id)).ToInteger(), d.receipt_date, ""},
                   state.result_text.empty()
                       ? "Nessun cliente: ricevuta senza utente e azienda senza cliente generico"
                       : state.result_text);
    try {
      ScriviRisultato(run);
    } catch (const std::exception& e) {
      run.RecordError("Inserimento Documento -- >  " + document_type, e);
      return;
    }
  } catch (const std::exception& e) {
    run.RecordError("Inserimento Documento -- >  " + document_type, e);
    return;
  }
  // 16. The end of the receipt, saved or rejected.
  ContaCheckpoint(run);
}

void DocumentoMemorizzato(ImportRun& run, const std::string& registration,
                          std::string payment_code) {
  run.state.imported = Value(NzDec(run.state.imported).ToDecimal() + Decimal(1));
  run.state.abort = 0;
  Verifica_TipoEff(run, payment_code);
  DocumentContext& d = run.document;
  if (d.effect_type1 == 1 && !Blank(d.cash_account) && !Blank(registration)) {
    std::string number = registration;
    AggiornaRecCoge(run, number);
  }
}

}  // namespace zodadovez
