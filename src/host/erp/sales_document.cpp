#include "host/erp/sales_document.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <functional>
#include <utility>

#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"
#include "module/common/transaction.h"

namespace zodadovez {
namespace {

constexpr const char* kHeaderTable = "DO11_DOCTESTATA";
constexpr const char* kRowTable = "DO30_DOCRIGHE";
// The company's currency: the one the module itself computes net amounts in.
constexpr const char* kDefaultCurrency = "EURO";
constexpr int kDefaultDecimals = 2;
// Kind of document whose amounts go the other way (credit notes).
constexpr std::int64_t kCreditNoteKind = 6;
// error() of a failed save whose cause carries no number of its own.
constexpr int kSaveFailed = 1;

// Documents and journal registrations share one series of registration numbers per company.
std::string RegistrationKey(std::int32_t company) { return fmt::format("NUMREG_CO99_{}", company); }

bool Blank(const Value& value) {
  return value.is_empty() || value.is_null() || RTrimNz(value).empty();
}

// Amounts and quantities: a value never set counts as 0.
Decimal NumberOf(const Value& value) {
  if (value.is_empty() || value.is_null()) return Decimal(0);
  return value.ToDecimal();
}

// Document dates carry no time of day.
DateTime DayOf(DateTime value) { return DateTime(std::chrono::floor<std::chrono::days>(value)); }

int YearOf(DateTime value) {
  std::chrono::year_month_day ymd{std::chrono::floor<std::chrono::days>(value)};
  return static_cast<int>(ymd.year());
}

// A blank value stores as NULL; any other as its day.
Value DateOrNull(const Value& value) {
  if (Blank(value)) return Value(Null{});
  return Value(DayOf(value.ToDate()));
}

Value TextOrNull(const std::string& text) {
  std::string trimmed = RTrimNz(Value(text));
  if (trimmed.empty()) return Value(Null{});
  return Value(trimmed);
}

// The table's columns, with the recordset's index of them by name.
Recordset ColumnsOf(Database& db, const char* table) {
  return db.open(fmt::format("SELECT * FROM {} WHERE 1 = 0", table));
}

void InsertRow(Database& db, const std::string& table,
               const std::vector<std::pair<std::string, Value>>& values) {
  WritableRecordset rs = db.open_for_insert(fmt::format("SELECT * FROM {} WHERE 1 = 0", table));
  rs.add_new();
  for (const auto& [column, value] : values) rs.set(column, value);
  rs.update_batch();
}

// Takes the next value of a progressive of CG26_PROGANAG, never a number up to `in_use()` (the
// highest one already given by other means, rows written without the progressive).
// REQUIRES: a transaction is open on `db`, so that the read and the write are one: the read
// holds an update lock on SQL Server, and the embedded backend's transaction holds the file's
// write lock.
std::int64_t TakeNumber(Database& db, const std::string& key,
                        const std::function<std::int64_t()>& in_use) {
  WritableRecordset rs = db.open_for_insert(
      fmt::format("SELECT * FROM CG26_PROGANAG WITH (UPDLOCK, HOLDLOCK) WHERE CG26_CODICE = {}",
                  SqlQuote(key)));
  std::int64_t before = 0;
  if (rs.eof()) {
    rs.add_new();
    rs.set("CG26_CODICE", key);
  } else {
    before = NzDec(rs["CG26_VALPROG"]).ToInteger();
  }
  std::int64_t taken = std::max(before, in_use()) + 1;
  rs.set("CG26_VALPROG", taken);
  rs.update_batch();
  return taken;
}

}  // namespace

// --- Record ----------------------------------------------------------------------------------

class StandInSalesDocument::Record : public DocumentRecord {
 public:
  Record(std::string table, const Recordset& columns)
      : table_(std::move(table)), columns_(columns), values_(fields().size()) {}

  Value Get(std::string_view column) const override {
    int field = Find(column);
    return field < 0 ? Value() : values_[static_cast<std::size_t>(field)];
  }

  void Set(std::string_view column, Value value) override {
    int field = Find(column);
    if (field < 0) throw DataError(fmt::format("{}: no column named '{}'", table_, column));
    values_[static_cast<std::size_t>(field)] = std::move(value);
  }

  void Clear() { values_.assign(fields().size(), Value()); }

  // Column names are ASCII: the recordset's index finds them whatever their case.
  int Find(std::string_view column) const { return columns_.field_index(column); }

  // The columns that hold a value, for an INSERT that leaves the others to their defaults.
  std::vector<std::pair<std::string, Value>> Assigned() const {
    std::vector<std::pair<std::string, Value>> out;
    for (std::size_t i = 0; i < fields().size(); ++i) {
      if (!values_[i].is_empty()) out.emplace_back(fields()[i].name, values_[i]);
    }
    return out;
  }

 private:
  const std::vector<FieldInfo>& fields() const { return columns_.fields(); }

  std::string table_;
  Recordset columns_;  // empty: its fields and their index
  std::vector<Value> values_;
};

struct StandInSalesDocument::Totals {
  Decimal taxable;
  Decimal vat;
  Decimal total;
};

// --- Binding ---------------------------------------------------------------------------------

StandInSalesDocument::StandInSalesDocument(const Clock& clock) : clock_(clock) {}

StandInSalesDocument::~StandInSalesDocument() = default;

void StandInSalesDocument::Configure(const Settings& settings) {
  settings_ = settings;
  started_ = false;
}

void StandInSalesDocument::SetDocumentType(const std::string& type) {
  settings_.document_type = type;
}

void StandInSalesDocument::Start() {
  if (settings_.connection == nullptr) {
    throw Error("documento di vendita: nessuna connessione al database");
  }
  std::string type = RTrimNz(Value(settings_.document_type));
  Database& db = *settings_.connection;
  Recordset rs = db.open(
      fmt::format("SELECT MG36_TIPODOC FROM MG36_DOCUMENTI WITH (NOLOCK) WHERE MG36_CODDOCUM = {}",
                  SqlQuote(type)));
  if (rs.eof()) {
    throw Error(fmt::format("documento di vendita: tipo documento '{}' inesistente", type));
  }
  document_kind_ = static_cast<std::int16_t>(NzDec(rs["MG36_TIPODOC"]).ToInteger());
  Recordset section = db.open(fmt::format(
      "SELECT MG3G_SEZDEFAULT FROM MG3G_DOCDITTA WITH (NOLOCK) WHERE MG3G_DITTA_CG18 = {} AND "
      "MG3G_CODDOCUM_MG36 = {}",
      settings_.company, SqlQuote(type)));
  default_section_ = section.eof() ? "" : RTrimNz(section["MG3G_SEZDEFAULT"]);
  LoadColumns();
  header_ = std::make_unique<Record>(kHeaderTable, *header_columns_);
  rows_.clear();
  pending_.reset();
  started_ = true;
}

void StandInSalesDocument::End() {
  started_ = false;
  header_.reset();
  rows_.clear();
  pending_.reset();
}

void StandInSalesDocument::LoadColumns() {
  if (header_columns_) return;
  Database& db = *settings_.connection;
  header_columns_ = ColumnsOf(db, kHeaderTable);
  row_columns_ = ColumnsOf(db, kRowTable);
}

void StandInSalesDocument::RequireStarted(const char* operation) const {
  if (!started_) {
    throw Error(fmt::format("documento di vendita: {} con l'oggetto non avviato", operation));
  }
}

// --- Header ----------------------------------------------------------------------------------

void StandInSalesDocument::Prepare(const std::string& condition) {
  RequireStarted("preparazione");
  std::string compact;
  for (char c : condition) {
    if (c != ' ') compact += c;
  }
  if (compact != "1=0") {
    throw Error(fmt::format(
        "documento di vendita: la lettura di documenti registrati non e' gestita ({})", condition));
  }
  header_->Clear();
  rows_.clear();
  pending_.reset();
}

void StandInSalesDocument::NewDocument() {
  RequireStarted("nuovo documento");
  header_->Clear();
  rows_.clear();
  pending_.reset();
  DateTime today = DayOf(clock_.Now());
  Record& h = *header_;
  h.Set("DO11_DITTA_CG18", settings_.company);
  h.Set("DO11_DOCUM_MG36", RTrimNz(Value(settings_.document_type)));
  h.Set("DO11_TIPODOC", static_cast<int>(document_kind_));
  // Blank rather than NULL: the duplicate test compares the section with a text.
  h.Set("DO11_SEZDOC", default_section_);
  h.Set("DO11_DATAREG", today);
  h.Set("DO11_DATADOC", today);
  h.Set("DO11_ANNODOC", YearOf(today));
  h.Set("DO11_TIPOCF_CG44", 0);
  h.Set("DO11_CODVAL_CG08", kDefaultCurrency);
  h.Set("DO11_FLGDOCBIS", 0);
}

DocumentRecord& StandInSalesDocument::Header() {
  RequireStarted("testata");
  return *header_;
}

void StandInSalesDocument::SetCustomer(const Value& customer) {
  RequireStarted("cliente");
  std::int64_t code = Blank(customer) ? 0 : customer.ToInteger();
  Recordset rs = settings_.connection->open(fmt::format(
      "SELECT CG44_CODPAG_CG62, CG16_RAGSOANAG, CG16_INDIRIZZO, CG16_CAP, CG16_CITTA, CG16_PROV, "
      "CG16_PARTIVA, CG16_CODFISCALE FROM CG44_CLIFOR WITH (NOLOCK) LEFT OUTER JOIN CG16_ANAGGEN "
      "WITH (NOLOCK) ON CG16_CODICE = CG44_CODICE_CG16 WHERE CG44_DITTA_CG18 = {} AND "
      "CG44_TIPOCF = 0 AND CG44_CLIFOR = {}",
      settings_.company, code));
  if (rs.eof()) {
    throw Error(fmt::format("documento di vendita: cliente {} inesistente nella ditta {}",
                            customer.Describe(), settings_.company));
  }
  Record& h = *header_;
  h.Set("DO11_TIPOCF_CG44", 0);
  h.Set("DO11_CLIFOR_CG44", code);
  const std::pair<const char*, const char*> copied[] = {{"DO11_RAGSOANAG", "CG16_RAGSOANAG"},
                                                        {"DO11_INDIRIZZO", "CG16_INDIRIZZO"},
                                                        {"DO11_CAP", "CG16_CAP"},
                                                        {"DO11_CITTA", "CG16_CITTA"},
                                                        {"DO11_PROV", "CG16_PROV"},
                                                        {"DO11_PARTIVA", "CG16_PARTIVA"},
                                                        {"DO11_CODFISCALE", "CG16_CODFISCALE"}};
  for (const auto& [to, from] : copied) h.Set(to, rs[from]);
  std::string terms = RTrimNz(rs["CG44_CODPAG_CG62"]);
  if (!terms.empty()) h.Set("DO11_CODPAG_CG62", terms);
}

void StandInSalesDocument::SetPayment(const std::string& payment_code) {
  RequireStarted("pagamento");
  std::string code = RTrimNz(Value(payment_code));
  if (!PaymentExists(code)) {
    throw Error(
        fmt::format("documento di vendita: condizione di pagamento '{}' inesistente", code));
  }
  header_->Set("DO11_CODPAG_CG62", code);
}

void StandInSalesDocument::SetNumber(std::int64_t number) {
  RequireStarted("numero documento");
  header_->Set("DO11_NUMDOC", number);
}

void StandInSalesDocument::SetDate(const Value& date) {
  RequireStarted("data documento");
  DateTime day = DayOf(date.ToDate());
  header_->Set("DO11_DATADOC", day);
  header_->Set("DO11_ANNODOC", YearOf(day));
}

// --- Rows ------------------------------------------------------------------------------------

void StandInSalesDocument::NewRow() {
  RequireStarted("nuova riga");
  pending_ = std::make_unique<Record>(kRowTable, *row_columns_);
  Record& r = *pending_;
  r.Set("DO30_DITTA_CG18", settings_.company);
  r.Set("DO30_INDTIPORIGA", 0);
  r.Set("DO30_OPZIONE_MG5E", "");
  r.Set("DO30_QTA1", Decimal(0));
  r.Set("DO30_PREZZO", Decimal(0));
  r.Set("DO30_IMPORTO", Decimal(0));
  // A row takes the header's deposit and payment until it is given its own.
  Value deposit = header_->Get("DO11_CODDEP");
  if (!Blank(deposit)) r.Set("DO30_CODDEP_MG58", RTrimNz(deposit));
  Value terms = header_->Get("DO11_CODPAG_CG62");
  if (!Blank(terms)) r.Set("DO30_CODPAG_CG62", RTrimNz(terms));
}

StandInSalesDocument::Record& StandInSalesDocument::CurrentRow(const char* operation) {
  RequireStarted(operation);
  if (pending_) return *pending_;
  if (!rows_.empty()) return rows_.back();
  throw Error(fmt::format("documento di vendita: {} senza una riga", operation));
}

DocumentRecord& StandInSalesDocument::Row() { return CurrentRow("riga"); }

void StandInSalesDocument::SetArticle(const std::string& article) {
  Record& r = CurrentRow("articolo");
  std::string code = RTrimNz(Value(article));
  r.Set("DO30_CODART_MG66", TextOrNull(code));
  if (code.empty() || !Blank(r.Get("DO30_DESCART"))) return;
  // The article's own description, the language-neutral one first.
  Recordset rs = settings_.connection->open(fmt::format(
      "SELECT TOP 1 MG87_DESCART FROM MG87_ARTDESC WITH (NOLOCK) WHERE MG87_DITTA_CG18 = {} AND "
      "MG87_CODART_MG66 = {} ORDER BY MG87_LINGUA_MG52, MG87_OPZIONE_MG5E",
      settings_.company, SqlQuote(code)));
  if (!rs.eof() && !Blank(rs["MG87_DESCART"])) r.Set("DO30_DESCART", RTrimNz(rs["MG87_DESCART"]));
}

void StandInSalesDocument::SetPrice(double price) {
  Record& r = CurrentRow("prezzo");
  r.Set("DO30_PREZZO", Decimal::FromDouble(price));
  ComputeAmount(r);
}

void StandInSalesDocument::SetQuantity(double quantity) {
  Record& r = CurrentRow("quantita'");
  r.Set("DO30_QTA1", Decimal::FromDouble(quantity));
  ComputeAmount(r);
}

void StandInSalesDocument::SetVatCode(const std::string& vat_code) {
  Record& r = CurrentRow("codice IVA");
  std::string code = RTrimNz(Value(vat_code));
  if (!code.empty() && !VatRate(code)) {
    throw Error(fmt::format("documento di vendita: codice IVA '{}' inesistente", code));
  }
  r.Set("DO30_CODIVA_CG28", TextOrNull(code));
}

void StandInSalesDocument::SetRowPayment(const std::string& payment_code) {
  Record& r = CurrentRow("pagamento di riga");
  std::string code = RTrimNz(Value(payment_code));
  if (!code.empty() && !PaymentExists(code)) {
    throw Error(
        fmt::format("documento di vendita: condizione di pagamento '{}' inesistente", code));
  }
  r.Set("DO30_CODPAG_CG62", TextOrNull(code));
}

void StandInSalesDocument::SetRevenueAccount(const std::string& account) {
  CurrentRow("conto di ricavo").Set("DO30_CONTO_CG24", TextOrNull(account));
}

void StandInSalesDocument::SetCompetenceStart(const Value& date) {
  CurrentRow("inizio competenza").Set("DO30_DATAINICOMP", DateOrNull(date));
}

void StandInSalesDocument::SetCompetenceEnd(const Value& date) {
  CurrentRow("fine competenza").Set("DO30_DATAFINCOMP", DateOrNull(date));
}

void StandInSalesDocument::Recompute() {
  Record& r = CurrentRow("ricalcolo");
  Value start = r.Get("DO30_DATAINICOMP");
  Value end = r.Get("DO30_DATAFINCOMP");
  if (!Blank(start) && !Blank(end) && end.ToDate() < start.ToDate()) {
    throw Error(
        fmt::format("documento di vendita: la competenza termina ({}) prima di iniziare ({})",
                    FormatItalianDate(end.ToDate()), FormatItalianDate(start.ToDate())));
  }
  ComputeAmount(r);
}

void StandInSalesDocument::ConfirmRow() {
  RequireStarted("conferma riga");
  if (!pending_) throw Error("documento di vendita: nessuna riga da confermare");
  Record& r = *pending_;
  if (NzDec(r.Get("DO30_INDTIPORIGA")).ToDecimal().is_zero() && Blank(r.Get("DO30_CODART_MG66"))) {
    throw Error("documento di vendita: riga di articolo senza codice articolo");
  }
  // The amount follows the price and quantity however they were written.
  ComputeAmount(r);
  r.Set("DO30_RIGA", static_cast<std::int64_t>(rows_.size() + 1));
  rows_.push_back(std::move(r));
  pending_.reset();
}

void StandInSalesDocument::ComputeAmount(Record& row) {
  Decimal amount = NumberOf(row.Get("DO30_PREZZO")) * NumberOf(row.Get("DO30_QTA1"));
  // Commercial rounding: half a cent goes away from zero.
  row.Set("DO30_IMPORTO",
          amount.Round(CurrencyDecimals(header_->Get("DO11_CODVAL_CG08")), RoundingMode::kHalfUp));
}

// --- Lookups ---------------------------------------------------------------------------------

int StandInSalesDocument::CurrencyDecimals(const Value& currency) {
  std::string code = Blank(currency) ? kDefaultCurrency : RTrimNz(currency);
  std::string key = FoldCase(code);
  auto it = currency_decimals_.find(key);
  if (it != currency_decimals_.end()) return it->second;
  Recordset rs = settings_.connection->open(
      fmt::format("SELECT CG08_NUMDEC FROM CG08_TABVALUTE WITH (NOLOCK) WHERE CG08_CODICE = {}",
                  SqlQuote(code)));
  int decimals = kDefaultDecimals;
  if (!rs.eof() && !Blank(rs["CG08_NUMDEC"])) {
    decimals = static_cast<int>(NzDec(rs["CG08_NUMDEC"]).ToInteger());
  }
  currency_decimals_.emplace(key, decimals);
  return decimals;
}

std::optional<Decimal> StandInSalesDocument::VatRate(const std::string& code) {
  std::string key = FoldCase(code);
  auto it = vat_rates_.find(key);
  if (it != vat_rates_.end()) return it->second;
  Recordset rs = settings_.connection->open(
      fmt::format("SELECT CG28_PERCIVA FROM CG28_TABCODIVA WITH (NOLOCK) WHERE CG28_CODICE = {}",
                  SqlQuote(code)));
  // A missing code is not remembered: the import creates VAT codes as it meets them.
  if (rs.eof()) return std::nullopt;
  Decimal rate = NzDec(rs["CG28_PERCIVA"]).ToDecimal();
  vat_rates_.emplace(key, rate);
  return rate;
}

bool StandInSalesDocument::PaymentExists(const std::string& code) {
  if (code.empty()) return false;
  std::string key = FoldCase(code);
  if (payment_terms_.count(key) != 0) return true;
  Recordset rs = settings_.connection->open(
      fmt::format("SELECT CG62_CODPAG FROM CG62_CONDPAGDES WITH (NOLOCK) WHERE CG62_CODPAG = {}",
                  SqlQuote(code)));
  // As with VAT codes, only terms that exist are remembered.
  if (rs.eof()) return false;
  payment_terms_.insert(key);
  return true;
}

std::string StandInSalesDocument::CounterpartAccount() {
  // The company's own setting overrides the global one (company 0).
  Recordset rs = settings_.connection->open(
      fmt::format("SELECT HOST_VALORE FROM HOST_SETTINGS WITH (NOLOCK) WHERE HOST_CHIAVE = {} AND "
                  "HOST_DITTA IN (0, {}) ORDER BY HOST_DITTA DESC",
                  SqlQuote("CONTO_CONTROPARTITA"), settings_.company));
  return rs.eof() ? "" : RTrimNz(rs["HOST_VALORE"]);
}

// --- Save ------------------------------------------------------------------------------------

void StandInSalesDocument::Save() {
  error_ = 0;
  error_description_.clear();
  try {
    RequireStarted("salvataggio");
    Record header = *header_;
    std::vector<Record> rows = rows_;
    {
      // Header, rows, registration, movements and the numbers taken: all stored, or none.
      Transaction transaction(*settings_.connection);
      Store(header, rows);
      transaction.Commit();
    }
    // Only a stored document takes its numbers.
    *header_ = header;
    rows_ = rows;
    last_header_ = std::make_unique<Record>(header);
    last_row_ = rows.empty() ? nullptr : std::make_unique<Record>(rows.back());
  } catch (const std::exception& e) {
    const auto* error = dynamic_cast<const Error*>(&e);
    long number = error != nullptr ? error->number() : 0;
    error_ = number != 0 && number >= INT_MIN && number <= INT_MAX ? static_cast<int>(number)
                                                                   : kSaveFailed;
    std::string what =
        header_ ? fmt::format("{} {}/{} del {}", RTrimNz(header_->Get("DO11_DOCUM_MG36")),
                              RTrimNz(header_->Get("DO11_SEZDOC")),
                              RTrimNz(header_->Get("DO11_NUMDOC")),
                              RTrimNz(header_->Get("DO11_DATADOC")))
                : std::string("senza tipo");
    error_description_ = fmt::format("salvataggio del documento {}: {}", what, e.what());
  }
}

void StandInSalesDocument::Store(Record& header, std::vector<Record>& rows) {
  Database& db = *settings_.connection;
  const std::int32_t company = settings_.company;

  // The customer may have gone since it was set, or been written straight into the header.
  Value customer = header.Get("DO11_CLIFOR_CG44");
  if (Blank(customer)) throw Error("documento senza cliente");
  std::int64_t customer_code = customer.ToInteger();
  std::int64_t customer_kind = NzDec(header.Get("DO11_TIPOCF_CG44")).ToInteger();
  Recordset found = db.open(fmt::format(
      "SELECT CG44_CLIFOR FROM CG44_CLIFOR WITH (NOLOCK) WHERE CG44_DITTA_CG18 = {} AND "
      "CG44_TIPOCF = {} AND CG44_CLIFOR = {}",
      company, customer_kind, customer_code));
  if (found.eof()) throw Error(fmt::format("cliente {} inesistente", customer_code));
  if (Blank(header.Get("DO11_DATADOC"))) throw Error("documento senza data");

  if (NumberOf(header.Get("DO11_NUMDOC")).is_zero()) {
    header.Set("DO11_NUMDOC", NextDocumentNumber(header));
  }
  Totals totals = ComputeTotals(header, rows);
  header.Set("DO11_TOTIMPONIBILE", totals.taxable);
  header.Set("DO11_TOTIVA", totals.vat);
  header.Set("DO11_TOTDOC", totals.total);

  auto in_use = [this] { return HighestRegistration(); };
  std::int64_t registration = TakeNumber(db, RegistrationKey(company), in_use);
  header.Set("DO11_DITTA_CG18", company);
  header.Set("DO11_NUMREG_CO99", registration);
  InsertRow(db, kHeaderTable, header.Assigned());
  for (Record& row : rows) {
    row.Set("DO30_DITTA_CG18", company);
    row.Set("DO30_NUMREG_DO11", registration);
    InsertRow(db, kRowTable, row.Assigned());
  }

  std::string terms = RTrimNz(header.Get("DO11_CODPAG_CG62"));
  if (terms.empty()) return;
  Recordset instalment = db.open(fmt::format(
      "SELECT TOP 1 CG63_PROG FROM CG63_CONDPAGDET WITH (NOLOCK) WHERE CG63_CODPAG_CG62 = {} AND "
      "CG63_TIPOEFF = 1",
      SqlQuote(terms)));
  if (!instalment.eof()) WriteRegistration(header, totals);
}

// Terms paid at once (effect type 1) settle the document when it is stored: the document's
// registration refers through CG41_RIFFIGLIA to a cash registration that closes the customer
// against the company's default counterpart account. The import later moves that counterpart
// to the gym's own cash account.
void StandInSalesDocument::WriteRegistration(const Record& header, const Totals& totals) {
  Database& db = *settings_.connection;
  const std::int32_t company = settings_.company;
  std::int64_t document = header.Get("DO11_NUMREG_CO99").ToInteger();
  auto in_use = [this] { return HighestRegistration(); };
  std::int64_t cash = TakeNumber(db, RegistrationKey(company), in_use);
  std::string counterpart = CounterpartAccount();
  Value date = header.Get("DO11_DATAREG");
  std::string title = fmt::format(
      "{} {}/{} DEL {}", RTrimNz(header.Get("DO11_DOCUM_MG36")), RTrimNz(header.Get("DO11_SEZDOC")),
      RTrimNz(header.Get("DO11_NUMDOC")), FormatItalianDate(header.Get("DO11_DATADOC").ToDate()));
  InsertRow(db, "CG41_PRIMANOTA",
            {{"CG41_DITTA_CG18", company},
             {"CG41_NUMREG", document},
             {"CG41_RIFFIGLIA", cash},
             {"CG41_DATAREG", date},
             {"CG41_DESCR", title}});
  InsertRow(db, "CG41_PRIMANOTA",
            {{"CG41_DITTA_CG18", company},
             {"CG41_NUMREG", cash},
             {"CG41_DATAREG", date},
             {"CG41_DESCR", "INCASSO " + title}});

  // A credit note pays the customer back: the movements change sides.
  bool refund = document_kind_ == kCreditNoteKind;
  // Without a default account the counterpart's movement has no account, while the customer's
  // keeps the blank as text: the journal fix compares with the same blank default the window
  // reads, and still finds it.
  Value counterpart_account = counterpart.empty() ? Value(Null{}) : Value(counterpart);
  InsertRow(db, "CG42_MOVCONT",
            {{"CG42_DITTA_CG18", company},
             {"CG42_NUMREG_CG41", cash},
             {"CG42_RIGA", 1},
             {"CG42_TIPOCF_CG44", header.Get("DO11_TIPOCF_CG44")},
             {"CG42_CLIFOR_CG44", header.Get("DO11_CLIFOR_CG44")},
             {"CG42_CONTOPAR_CG24", Value(counterpart)},
             {"CG42_SEGNO", refund ? "D" : "A"},
             {"CG42_IMPORTO", totals.total}});
  InsertRow(db, "CG42_MOVCONT",
            {{"CG42_DITTA_CG18", company},
             {"CG42_NUMREG_CG41", cash},
             {"CG42_RIGA", 2},
             {"CG42_CONTO_CG24", counterpart_account},
             {"CG42_SEGNO", refund ? "A" : "D"},
             {"CG42_IMPORTO", totals.total}});
}

std::int64_t StandInSalesDocument::HighestRegistration() {
  Database& db = *settings_.connection;
  Recordset documents = db.open(
      fmt::format("SELECT MAX(DO11_NUMREG_CO99) AS ULTIMO FROM DO11_DOCTESTATA WITH (NOLOCK) WHERE "
                  "DO11_DITTA_CG18 = {}",
                  settings_.company));
  Recordset journal = db.open(
      fmt::format("SELECT MAX(CG41_NUMREG) AS ULTIMO FROM CG41_PRIMANOTA WITH (NOLOCK) WHERE "
                  "CG41_DITTA_CG18 = {}",
                  settings_.company));
  std::int64_t highest = 0;
  for (const Recordset* rs : {&documents, &journal}) {
    if (!rs->eof()) highest = std::max(highest, NumberOf((*rs)["ULTIMO"]).ToInt64());
  }
  return highest;
}

std::int64_t StandInSalesDocument::NextDocumentNumber(const Record& header) {
  // Read under an update lock on SQL Server, so that two saves cannot take the same number.
  Recordset rs = settings_.connection->open(fmt::format(
      "SELECT MAX(DO11_NUMDOC) AS ULTIMO FROM DO11_DOCTESTATA WITH (UPDLOCK, HOLDLOCK) WHERE "
      "DO11_DITTA_CG18 = {} AND DO11_DOCUM_MG36 = {} AND ISNULL(DO11_SEZDOC, '') = {} AND "
      "DO11_ANNODOC = {}",
      settings_.company, SqlQuote(RTrimNz(header.Get("DO11_DOCUM_MG36"))),
      SqlQuote(RTrimNz(header.Get("DO11_SEZDOC"))),
      NumberOf(header.Get("DO11_ANNODOC")).ToInt64()));
  std::int64_t last = rs.eof() ? 0 : NumberOf(rs["ULTIMO"]).ToInt64();
  return last + 1;
}

StandInSalesDocument::Totals StandInSalesDocument::ComputeTotals(const Record& header,
                                                                 const std::vector<Record>& rows) {
  int decimals = CurrencyDecimals(header.Get("DO11_CODVAL_CG08"));
  // VAT is taken on the taxable amount of each code, not row by row.
  std::map<std::string, Decimal> taxable_by_code;
  Totals t;
  for (const Record& row : rows) {
    Decimal amount = NumberOf(row.Get("DO30_IMPORTO"));
    t.taxable += amount;
    std::string code = RTrimNz(row.Get("DO30_CODIVA_CG28"));
    if (!code.empty()) taxable_by_code[FoldCase(code)] += amount;
  }
  for (const auto& [code, taxable] : taxable_by_code) {
    Decimal rate = VatRate(code).value_or(Decimal(0));
    t.vat += (taxable * rate / Decimal(100)).Round(decimals, RoundingMode::kHalfUp);
  }
  t.total = t.taxable + t.vat;
  return t;
}

std::string StandInSalesDocument::LastValue(const std::string& table, const std::string& column) {
  const Record* record = nullptr;
  if (TextEquals(table, kHeaderTable)) {
    record = last_header_.get();
  } else if (TextEquals(table, kRowTable)) {
    record = last_row_.get();
  } else {
    throw Error(fmt::format("documento di vendita: la tabella {} non e' del documento", table));
  }
  if (record == nullptr) return "";
  if (record->Find(column) < 0) {
    throw DataError(fmt::format("{}: no column named '{}'", table, column));
  }
  return RTrimNz(record->Get(column));
}

}  // namespace zodadovez
