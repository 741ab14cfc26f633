// Customers: the gym user, the ERP customer search and the creation of a new customer.
#include "module/masterdata/clienti.h"

#include <fmt/format.h>

#include <chrono>
#include <exception>
#include <memory>
#include <string_view>
#include <vector>

#include "module/common/database.h"
#include "module/common/decimal.h"
#include "module/common/errors.h"
#include "module/common/host_services.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"
#include "module/common/transaction.h"
#include "module/engine/documento.h"
#include "module/engine/import_run.h"
#include "module/engine/reports.h"

namespace zodadovez {
namespace {

// A code check that never finds a free code would otherwise ask the host's numbering forever.
constexpr int kMaxCodeAttempts = 1000;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offsets of the characters of a UTF-8 text: lengths and positions below count
// characters, as the ERP's text columns do, so that a letter such as "Ì" is never cut.
std::vector<std::size_t> CharStarts(std::string_view s) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (!IsContinuationByte(s[i])) starts.push_back(i);
  }
  return starts;
}

std::size_t CharLength(std::string_view s) { return CharStarts(s).size(); }

// The `length` characters from the 1-based character `start`; fewer at the end of the text.
std::string Mid(std::string_view s, std::size_t start, std::size_t length = std::string::npos) {
  std::vector<std::size_t> starts = CharStarts(s);
  if (start < 1 || start > starts.size()) return std::string();
  std::size_t from = starts[start - 1];
  std::size_t last = start - 1 + length;  // index of the first character left out
  std::size_t to = length == std::string::npos || last >= starts.size() ? s.size() : starts[last];
  return std::string(s.substr(from, to - from));
}

// Trim, LTrim and RTrim remove spaces only.
std::string RTrim(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}
std::string LTrim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return std::string(s);
}
std::string Trim(std::string_view s) { return LTrim(RTrim(s)); }

// The text of Nz(value, ""): "" for Empty, Null and blanks, else the value's own text, blanks
// included.
std::string NzText(const Value& value) {
  Value v = Nz(value, Value(std::string()));
  return v.is_empty() ? std::string() : v.ToText();
}

// Mid(Nz(value, ""), 1, n).
std::string Cut(const Value& value, std::size_t n) { return Mid(NzText(value), 1, n); }

// A number as the statements carry it: bare, with the invariant decimal point.
std::string Number(const Value& value) { return NzDec(value).ToDecimal().ToString(); }

// Numeric as the platform tells it under the Italian locale: "20100", "1.234", "12,5".
bool IsNumeric(std::string_view text) {
  Decimal ignored;
  return !text.empty() && Decimal::TryParseItalian(text, &ignored);
}

// The receipt names a gym user (IDUtente was not NULL). A document context cleared and never
// filled names none either.
bool HasGymUser(const DocumentContext& d) {
  return !d.gym_customer_raw.is_null() && !d.gym_customer_raw.is_empty();
}

// The gym user id as text, as it is stored in and searched for in CG16_ALIAS.
std::string GymUserText(const DocumentContext& d) {
  if (HasGymUser(d)) return RTrimNz(d.gym_customer_raw);
  return std::to_string(d.gym_customer);
}

// The date part of a moment, as the "YYYY/MM/DD" text the ERP reads back into a date column.
DateTime DayOf(DateTime moment) {
  return std::chrono::time_point_cast<std::chrono::seconds>(
      std::chrono::floor<std::chrono::days>(moment));
}
Value Today(ImportRun& run) { return Value(DayOf(run.clock().Now())); }

// The ERP customer code after the code check of a creation with code check.
Value CodiceLibero(ImportRun& run, std::int16_t kind) {
  Database& db = run.db();
  DocumentContext& d = run.document;
  Recordset taken = db.open(
      fmt::format("SELECT TOP 1 1 FROM CG44_CLIFOR WITH (NOLOCK) WHERE CG44_DITTA_CG18 = {} AND "
                  "CG44_TIPOCF = {} AND CG44_CLIFOR = {}",
                  run.company, kind, Number(d.erp_customer)));
  if (taken.eof()) return d.erp_customer;

  Value candidate;
  for (int attempt = 0;; ++attempt) {
    if (attempt == kMaxCodeAttempts) {
      throw Error(fmt::format("InsertAnagrafica: no free customer code after {} numbers",
                              kMaxCodeAttempts));
    }
    if (candidate.is_empty() || NzDec(candidate).ToDecimal() == Decimal(0)) {
      candidate = Nuovo_CodiceCliFor(run, Value(run.company), Value(static_cast<int>(kind)));
    }
    // The two blanks before WITH are kept: the server has always received it so.
    Recordset rs = db.open(fmt::format(
        "SELECT CG44_CLIFOR FROM CG44_CLIFOR  WITH (NOLOCK) WHERE CG44_DITTA_CG18 = {} AND "
        "CG44_TIPOCF = {} AND CG44_CLIFOR = {}",
        run.company, kind, Number(candidate)));
    if (rs.eof()) return candidate;
    candidate = Value(0);
  }
}

}  // namespace

void Dividi_Localita(ImportRun& run, std::string& text) {
  CustomerFields& c = run.document.customer;
  std::string s = RTrim(text);
  std::vector<std::size_t> starts = CharStarts(s);

  // Measure the last word from its end, up to its third character: only a word of exactly two
  // characters is a province code.
  bool seen = false;
  int counter = 0;
  std::size_t position = 0;  // 1-based character of the province's first letter
  for (std::size_t i = starts.size(); i >= 1; --i) {
    if (s[starts[i - 1]] != ' ') {
      seen = true;
      if (++counter > 2) break;
      position = i;
    } else if (seen) {
      break;
    }
  }
  if (counter == 2) {
    c.province = Value(Mid(s, position, 2));
    s = Mid(s, 1, position - 1);  // keeps the blank before the province
  }

  std::string p = Trim(Mid(s, 1, 5));
  if (IsNumeric(p)) {
    std::size_t len = CharLength(p);
    c.postal_code = Value(Mid(s, 1, len));
    c.town = Value(LTrim(Mid(s, len + 1)));
  } else {
    c.town = Value(LTrim(s));
  }
}

bool Leggi_Utente(ImportRun& run) {
  try {
    DocumentContext& d = run.document;
    CustomerFields& c = d.customer;
    c.user =
        run.db().open(fmt::format("SELECT * FROM {}.dbo.Utenti WITH (NOLOCK) WHERE IDUtente = {}",
                                  run.state.gym_database, Number(Value(d.gym_customer))));
    if (c.user.eof()) {
      c.user.close();
      return false;
    }
    RipulisciTesti(run, c.user, "Utenti");
    const Recordset& u = c.user;
    if (NzDec(u["IdSocio"]).ToDecimal() != Decimal(0)) d.member = true;
    c.tax_code = Nz(u["CodiceFiscale"], Value(std::string()));
    d.vat_number = Nz(u["PIVA"], Value(std::string()));
    d.customer_name = UpperCase(RTrim(NzText(u["Cognome"])) + " " + RTrim(NzText(u["Nome"])));
    d.address1 =
        RTrim(NzText(u["Indirizzo_Via"])) + "," + RTrim(NzText(u["Indirizzo_NumeroCivico"]));
    c.postal_code = Value(Cut(u["Indirizzo_Cap"], 8));
    c.province = Value(UpperCase(Cut(u["Indirizzo_Pv"], 2)));
    c.town = Value(UpperCase(Cut(u["Indirizzo_Citta"], 40)));
    return true;
  } catch (const std::exception& e) {
    run.RecordError("Leggi_Utente", e);
    return false;
  }
}

void Cerca_CliFor(ImportRun& run, std::int16_t& kind, std::string& key) {
  DocumentContext& d = run.document;
  CustomerFields& c = d.customer;
  try {
    c.found = false;
    std::string sql = fmt::format(
        "SELECT * FROM CG44_CLIFOR WITH (NOLOCK) INNER JOIN CG16_ANAGGEN WITH (NOLOCK) ON "
        "CG44_CODICE_CG16 = CG16_CODICE WHERE CG44_DITTA_CG18 = {} AND CG44_TIPOCF = {}",
        run.company, Number(Value(static_cast<int>(kind))));
    if (key == "P") {
      sql += " AND CG16_PARTIVA = " + SqlQuote(NzText(d.vat_number));
    } else if (key == "F") {
      sql += " AND CG16_CODFISCALE = " + SqlQuote(NzText(c.tax_code));
    } else if (key == "R") {
      sql += " AND CG16_RAGSOANAG = " + SqlQuote(NzText(Value(d.customer_name)));
    } else if (key == "C") {
      sql += " AND CG44_CLIFOR = " + Number(d.gym_customer_raw);
    } else if (key == "A") {
      sql += " AND CG16_ALIAS = " + SqlQuote(GymUserText(d));
    }
    Recordset rs = run.db().open(sql);
    if (!rs.eof()) {
      c.found = true;
      // Payment terms already chosen for the document (configuration or receipt) win over the
      // customer's own.
      if (Trim(d.payment_code).empty()) d.payment_code = NzText(rs["CG44_CODPAG_CG62"]);
      d.erp_customer = NzDec(rs["CG44_CLIFOR"]);
    }
  } catch (const std::exception& e) {
    run.RecordError("Cerca_CliFor", e);
  }
}

void Trova_Cliente(ImportRun& run) {
  DocumentContext& d = run.document;
  const std::int32_t mode = d.company.search_mode;
  const bool user = HasGymUser(d);
  const bool vat = !NzText(d.vat_number).empty();
  const bool tax = !NzText(d.customer.tax_code).empty();
  const bool name = !NzText(Value(d.customer_name)).empty();

  // A flag left by an earlier receipt must not spare this one its creation.
  d.customer.found = false;
  auto found_by = [&](const char* letter) {
    std::int16_t kind = 0;
    std::string key = letter;
    Cerca_CliFor(run, kind, key);
    return d.customer.found;
  };
  // Each mode's keys in order of trust: the alias written by this import first, then the
  // fiscal keys, the name only for receipts without a gym user.
  bool found = false;
  switch (mode) {
    case 0:
      found = (user && found_by("A")) || (user && found_by("C"));
      break;
    case 1:
      found = user && found_by("A");
      break;
    case 2:
      found = (user && found_by("A")) || (vat && found_by("P")) || (tax && found_by("F"));
      break;
    case 3:
      found = (vat && found_by("P")) || (tax && found_by("F"));
      break;
    case 4:
      found = (vat && found_by("P")) || (tax && found_by("F")) || (name && !user && found_by("R"));
      break;
    default:
      break;
  }
  if (found) return;

  // Mode 0 creates the customer under the gym user id itself: the search by code has just
  // found that code free.
  std::int16_t kind = 0;
  bool progress = false;
  bool code_check = mode != 0;
  InsertAnagrafica(run, kind, progress, code_check);
}

void InsertAnagrafica(ImportRun& run, std::int16_t& kind, bool& /*progress*/, bool& code_check) {
  DocumentContext& d = run.document;
  CustomerFields& c = d.customer;
  try {
    Database& db = run.db();
    // The three records and the progressive they take are written together or not at all: a
    // master record without its customer row would be found by the next search and never
    // completed.
    Transaction transaction(db);
    const bool person = kind == 0 && NzText(d.vat_number).empty();
    const bool user = HasGymUser(d);
    const Value today = Today(run);

    // The master record.
    WritableRecordset cg16 =
        db.open_for_insert("SELECT * FROM CG16_ANAGGEN WITH (NOLOCK) WHERE 1 = 0");
    std::int64_t next = run.progressive().Next("ANAGG");
    cg16.add_new();
    cg16.set("CG16_CODICE", Value(next));
    const std::int32_t master = static_cast<std::int32_t>(cg16["CG16_CODICE"].ToInteger());
    const std::string name = Cut(Value(d.customer_name), 40);
    cg16.set("CG16_RAGSOANAG", Value(name));
    // A receipt without gym user leaves no alias: an empty one would be found by no search.
    if (user) cg16.set("CG16_ALIAS", Value(GymUserText(d)));
    cg16.set("CG16_INDIRIZZO", Value(Cut(Value(d.address1), 40)));
    Cerca_Comune(run);
    const std::string town_code = NzText(c.town_code);
    const Value comune = town_code.empty() ? Value(Null{}) : Value(town_code);
    const std::string cap = Cut(c.postal_code, 8);
    const std::string province = UpperCase(Cut(c.province, 2));
    const std::string town = UpperCase(Cut(c.town, 40));
    cg16.set("CG16_COMANA_CG01", comune);
    cg16.set("CG16_CAP", Value(cap));
    cg16.set("CG16_PROV", Value(province));
    cg16.set("CG16_CITTA", Value(town));
    cg16.set("CG16_CODICE_CG07", Value("86"));
    cg16.set("CG16_FLGPRSFIS", Value(person ? 1 : 0));
    cg16.set("CG16_RAGSOFISC", Value(name));
    cg16.set("CG16_COMFIS_CG01", comune);
    cg16.set("CG16_CAPFISC", Value(cap));
    cg16.set("CG16_CITTAFISC", Value(town));
    cg16.set("CG16_PROVFISC", Value(province));
    if (person && user) {
      // A person's personal data come from the gym user's row that Leggi_Utente left open.
      const Recordset& u = c.user;
      cg16.set("CG16_COGNOME", Value(UpperCase(Cut(u["Cognome"], 30))));
      cg16.set("CG16_NOME", Value(UpperCase(Cut(u["Nome"], 20))));
      cg16.set("CG16_COMNASCITA", Value(UpperCase(Cut(u["Luogo_Nascita"], 40))));
      cg16.set("CG16_DATANASCITA", u["Data_Nascita"]);
      const Value& birth_province = u["Provincia_Nascita"];
      cg16.set("CG16_PROVNASCITA", birth_province.is_null() || birth_province.is_empty()
                                       ? birth_province
                                       : Value(UpperCase(birth_province.ToText())));
    }
    if (std::string tax = NzText(c.tax_code); !tax.empty()) cg16.set("CG16_CODFISCALE", Value(tax));
    if (std::string vat = NzText(d.vat_number); !vat.empty()) cg16.set("CG16_PARTIVA", Value(vat));
    if (user) {
      const Recordset& u = c.user;
      cg16.set("CG16_SESSO", Value(NzText(u["Sesso"]) == "F" ? 1 : 0));
      if (!NzText(u["Telefono_1"]).empty())
        cg16.set("CG16_TEL1NUM", Value(Cut(u["Telefono_1"], 20)));
      if (!NzText(u["Telefono_2"]).empty())
        cg16.set("CG16_TEL2NUM", Value(Cut(u["Telefono_2"], 20)));
      // The gym's last change of the user, as a date: its creation, then its last edit.
      if (!NzText(u["DataCreazione"]).empty()) {
        cg16.set("CG16_LASTCHANGE", Value(DayOf(u["DataCreazione"].ToDate())));
      }
      if (!NzText(u["DataModifica"]).empty()) {
        cg16.set("CG16_LASTCHANGE", Value(DayOf(u["DataModifica"].ToDate())));
      }
    } else {
      cg16.set("CG16_SESSO", Value(0));
      cg16.set("CG16_LASTCHANGE", today);
    }
    cg16.set("CG16_FLGOMONIMO", Value(0));
    cg16.set("CG16_INDSOGGRIT", Value(0));
    cg16.set("CG16_FLGANAGVAL", Value(1));
    cg16.set("CG16_INDAGGCF", Value(0));
    cg16.update_batch();
    db.execute(fmt::format("EXEC SPCO_AGGIORNA_ANAG_FROM_CG16 {}", master));
    if (Trim(name).empty()) {
      // Created as the receipt asks, but a customer nobody can find by name is worth a line.
      run.state.result_label.clear();
      run.state.result_text = fmt::format(
          "Cliente {} creato senza nome (utente {} senza cognome, nome e ragione sociale) per la "
          "ricevuta: IDRicevuta = {} / NumeroRicevuta = {}",
          master, d.gym_customer, Value(d.receipt_id).ToText(), d.receipt_number);
      ScriviRisultato(run);
    }

    // The company's customer record.
    WritableRecordset cg44 = db.open_for_insert(
        fmt::format("SELECT * FROM CG44_CLIFOR WITH (NOLOCK) WHERE CG44_DITTA_CG18 = {} AND "
                    "CG44_CODICE_CG16 = {}",
                    run.company, master));
    if (cg44.eof()) {
      if (code_check) d.erp_customer = CodiceLibero(run, kind);
      cg44.add_new();
      cg44.set("CG44_DITTA_CG18", Value(run.company));
      cg44.set("CG44_TIPOCF", Value(static_cast<int>(kind)));
      cg44.set("CG44_CLIFOR", NzDec(d.erp_customer));
    }
    cg44.set("CG44_CODICE_CG16", Value(master));
    cg44.set("CG44_GRUPPO_CG10", Value(run.company_parameters.customer_group));
    if (std::string payment = Trim(d.payment_code); !payment.empty()) {
      cg44.set("CG44_CODPAG_CG62", Value(payment));
    }
    cg44.set("CG44_LASTCHANGE", today);
    cg44.update_batch();

    // The customer's sales and warehouse settings.
    WritableRecordset mg19 = db.open_for_insert(
        fmt::format("SELECT * FROM MG19_CLIFORVA WITH (NOLOCK) WHERE MG19_DITTA_CG18 = {} AND "
                    "MG19_TIPOCF_CG44 = {} AND MG19_CLIFOR_CG44 = {}",
                    run.company, kind, Number(d.erp_customer)));
    if (mg19.eof()) {
      mg19.add_new();
      mg19.set("MG19_DITTA_CG18", Value(run.company));
      mg19.set("MG19_TIPOCF_CG44", Value(static_cast<int>(kind)));
      mg19.set("MG19_CLIFOR_CG44", NzDec(d.erp_customer));
      mg19.set("MG19_DATACREAZ", today);
    }
    for (const char* column :
         {"MG19_INDCLIFAT", "MG19_FLGDATICLFAT", "MG19_TIPOCLXDOC", "MG19_INDDESDOCEST",
          "MG19_SC1PERCOR", "MG19_SC2PERCOR", "MG19_SC3PERCOR", "MG19_SCIMPCOR", "MG19_MAGPERCOR",
          "MG19_MAGIMPCOR", "MG19_SCPERPIEDE", "MG19_FLGSPEINC", "MG19_FLGSPBOL",
          "MG19_INDSPESECUM", "MG19_SCAGLSPBANC", "MG19_FLGESCLSPEPOR", "MG19_INDCLIBLOC",
          "MG19_INDTESTOF1", "MG19_INDTESTOF2"}) {
      mg19.set(column, Value(0));
    }
    mg19.set("MG19_DATAULTVAR", today);
    for (const char* column :
         {"MG19_FLGPRZCAMP", "MG19_INDARRL96", "MG19_INDARRINFAT", "MG19_INDGESFIDO"}) {
      mg19.set(column, Value(0));
    }
    mg19.set("MG19_LISTMAG", NzDec(Value(run.price_list)));
    mg19.update_batch();
    transaction.Commit();

    c.found = true;
  } catch (const std::exception& e) {
    run.RecordError("InsertAnagrafica ", e);
    c.found = false;
  }
}

void Cerca_Comune(ImportRun& run) {
  CustomerFields& c = run.document.customer;
  c.town_code = Value(std::string());
  std::string town = NzText(c.town);
  if (town.empty()) return;
  Recordset rs = run.db().open("SELECT * FROM CG01_ANAGCOMUNI WITH (NOLOCK) WHERE CG01_DESCR = " +
                               SqlQuote(town));
  if (rs.eof()) return;
  c.town_code = Value(NzText(rs["CG01_CODICE"]));
  // A town whose postal code the table leaves blank or zero keeps the gym's.
  std::string cap = NzText(rs["CG01_CAP"]);
  if (!cap.empty() && NzText(Value(Mid(cap, 1, 5))) != "00000") c.postal_code = Value(cap);
  if (std::string descr = NzText(rs["CG01_DESCR"]); !descr.empty()) c.town = Value(descr);
  if (std::string prov = NzText(rs["CG01_PROV"]); !prov.empty()) c.province = Value(prov);
}

Value Nuovo_CodiceCliFor(ImportRun& run, const Value& company, const Value& kind) {
  const int numbering_kind = NzDec(kind).ToDecimal() == Decimal(0) ? 901 : 902;
  std::unique_ptr<NumberingService> numbering = run.host().CreateNumbering(run.db());
  return Value(numbering->Next(static_cast<int>(NzDec(company).ToInteger()), numbering_kind));
}

}  // namespace zodadovez
