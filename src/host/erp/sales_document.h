// The stand-in host's sales-document object: one document in memory, stored in
// DO11_DOCTESTATA and DO30_DOCRIGHE, with the journal registration of cash payments.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "module/common/database.h"
#include "module/common/host_services.h"

namespace zodadovez {

// The host's sales document on the window's connection (Settings::connection), bound to one
// document type between Start and End.
//
// Amounts: DO30_IMPORTO is price x quantity rounded half away from zero to the decimals of the
// header's currency (CG08_NUMDEC; 2 for a currency the table lacks).
// Save: numbers a document without number (the next DO11_NUMDOC of its company, type, section
// and year), takes DO11_NUMREG_CO99 from the company's progressive in CG26_PROGANAG, and writes
// the header and its confirmed rows in one transaction (module/common/transaction.h: a savepoint
// when the caller has one open), so that the document is stored whole or not at all. When the
// payment terms have an instalment of effect type 1, the document's registration (CG41_PRIMANOTA)
// and the cash registration it refers to through CG41_RIFFIGLIA are written too, the customer's
// movement carrying the company's default counterpart account (HOST_SETTINGS CONTO_CONTROPARTITA).
class StandInSalesDocument : public SalesDocument {
 public:
  // `clock` gives the registration date and the default document date; it must outlive the
  // object.
  explicit StandInSalesDocument(const Clock& clock);
  ~StandInSalesDocument() override;

  void Configure(const Settings& settings) override;
  const std::string& document_type() const override { return settings_.document_type; }
  void SetDocumentType(const std::string& type) override;
  // Throws Error when there is no connection or the document type is not in MG36_DOCUMENTI.
  void Start() override;
  void End() override;

  // Only the empty condition ("1=0") is known: the stand-in never loads stored documents.
  void Prepare(const std::string& condition) override;
  void NewDocument() override;
  DocumentRecord& Header() override;
  // Throws Error when the company has no customer of that code.
  void SetCustomer(const Value& customer) override;
  // Throws Error for payment terms missing from CG62_CONDPAGDES.
  void SetPayment(const std::string& payment_code) override;
  void SetNumber(std::int64_t number) override;
  void SetDate(const Value& date) override;

  // A new row replaces a row not yet confirmed. Row operations before NewRow throw Error.
  void NewRow() override;
  DocumentRecord& Row() override;
  void SetArticle(const std::string& article) override;
  void SetPrice(double price) override;
  void SetQuantity(double quantity) override;
  // Throws Error for a VAT code missing from CG28_TABCODIVA.
  void SetVatCode(const std::string& vat_code) override;
  void SetRowPayment(const std::string& payment_code) override;
  void SetRevenueAccount(const std::string& account) override;
  void SetCompetenceStart(const Value& date) override;
  void SetCompetenceEnd(const Value& date) override;
  // Throws Error when the competence period ends before it starts.
  void Recompute() override;
  // Throws Error for an article row (DO30_INDTIPORIGA 0) without article.
  void ConfirmRow() override;

  // Never throws: a failure rolls back everything the save wrote, numbers taken included, and
  // is told by error() and error_description().
  void Save() override;
  int error() const override { return error_; }
  std::string error_description() const override { return error_description_; }
  // Values of the last stored document: its header (DO11_DOCTESTATA) and its last row
  // (DO30_DOCRIGHE), as text; "" before the first save and for an empty value. Throws Error for
  // another table or a column the table lacks.
  std::string LastValue(const std::string& table, const std::string& column) override;

 private:
  class Record;  // a header or row: the columns of its table, by name
  struct Totals;

  void RequireStarted(const char* operation) const;
  Record& CurrentRow(const char* operation);
  void LoadColumns();
  void ComputeAmount(Record& row);
  int CurrencyDecimals(const Value& currency);
  std::optional<Decimal> VatRate(const std::string& code);
  bool PaymentExists(const std::string& code);
  std::string CounterpartAccount();
  std::int64_t HighestRegistration();
  std::int64_t NextDocumentNumber(const Record& header);
  Totals ComputeTotals(const Record& header, const std::vector<Record>& rows);
  // REQUIRES: a transaction is open on the connection.
  void Store(Record& header, std::vector<Record>& rows);
  void WriteRegistration(const Record& header, const Totals& totals);

  const Clock& clock_;
  Settings settings_;
  bool started_ = false;
  std::int16_t document_kind_ = 0;
  std::string default_section_;

  // Empty recordsets of the two tables: their columns, indexed by name.
  std::optional<Recordset> header_columns_;
  std::optional<Recordset> row_columns_;
  std::unique_ptr<Record> header_;
  std::vector<Record> rows_;         // confirmed, in order
  std::unique_ptr<Record> pending_;  // the row being written, until confirmed

  // Lookups kept while the object lives. Codes the import may still create (VAT codes,
  // payment terms) are remembered only once found.
  std::map<std::string, int> currency_decimals_;
  std::map<std::string, Decimal> vat_rates_;
  std::set<std::string> payment_terms_;

  int error_ = 0;
  std::string error_description_;
  std::unique_ptr<Record> last_header_;
  std::unique_ptr<Record> last_row_;
};

}  // namespace zodadovez
