// Interfaces of the host framework services the module uses; the host supplies them.
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "module/common/value.h"

namespace zodadovez {

class Database;
class SalesDocument;
class ProgressiveService;
class NumberingService;

// Message-box styles and answers, the platform's standard codes.
enum MessageStyle : int {
  kMsgCritical = 16,
  kMsgQuestion = 32,
  kMsgQuestionYesNo = 36,
  kMsgExclamation = 48,
  kMsgInformation = 64,
};
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Shows a message and returns the button pressed.
class MessageService {
 public:
  virtual ~MessageService() = default;
  virtual int Show(const std::string& text, int style, const std::string& title) = 0;
};

// Turns a value into the text of a date that the ERP database reads unambiguously, for use
// between single quotes. `status` is 0 when the value converted.
class DateConverter {
 public:
  struct Result {
    int status = 0;
    std::string text;
  };
  virtual ~DateConverter() = default;
  virtual Result Convert(const Value& value) const = 0;
};

// The current date and time; injected so that stamps and "today" columns are testable.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() const = 0;
};

// The host log: a line per message, and the errors of the connection.
class LogService {
 public:
  virtual ~LogService() = default;
  virtual void WriteLine(const std::string& line) = 0;
  virtual void LogError(long number, const std::string& description,
                        const std::string& application) = 0;
};

// The window's selections as a saved parameter set holds them.
struct ParameterSet {
  std::vector<std::int64_t> configurations;  // ZEV90_ID of the ticked configurations
  int mode = 0;                              // 0 "Normale", 1 "Rielabora"
  std::string date_from;                     // the range fields as typed (dd/mm/yyyy)
  std::string date_to;
  std::string number_from;
  std::string number_to;
};

// The parameter-set control QDX_ELABPARAMS1 and its store VRN99_IMPEXPPARAM.
class ParameterSetStore {
 public:
  virtual ~ParameterSetStore() = default;
  // Loads the company's sets (asked when a schedule code exists).
  virtual void Load(int company) = 0;
  // The set saved under `name` for the company, if any.
  virtual std::optional<ParameterSet> Find(int company, const std::string& name) = 0;
  virtual void Save(int company, const std::string& name, const ParameterSet& set) = 0;
  virtual std::vector<std::string> Names(int company) = 0;
};

// Company parameters and context values of the host's global services.
struct CompanyParameters {
  std::string default_vat_code;         // CODIVA_DEFAULT
  std::string article_vat_code;         // CODIVA_ARTICOLI: VAT code of new bar articles
  std::string customer_group;           // GRUPPO_CLIENTI
  std::string counterpart_account;      // CONTO_CONTROPARTITA
  std::string chart_group;              // GRUPPO_PDC
  std::string classification_hierarchy;  // GERARCHIA_CLASSI: "1" = hierarchical
  std::int64_t analytic_chart = 0;      // PIANO_ANALITICO
  std::string default_deposit;          // DEPOSITO_DEFAULT
  std::string user;                     // UTENTE
};

// Cinterface_ClsGlobal: the host's global services.
class GlobalServices {
 public:
  virtual ~GlobalServices() = default;
  virtual std::string ConnectionString() = 0;
  virtual int Company() = 0;
  // The parameters of the company, read when the window starts.
  virtual CompanyParameters Parameters(Database& db, int company) = 0;
  // The SQL Server name of the ERP connection.
  virtual std::string ServerName(Database& db) = 0;
  // The message service, or null when the host has none (the window shows its own box).
  virtual MessageService* Messages() = 0;
};

// A business object of the host (PrimaNota, CGBOLook, ...): created and released only.
class BusinessObject {
 public:
  virtual ~BusinessObject() = default;
  virtual const std::string& name() const = 0;
};

// What the host framework hands the module: its services and the factories of its objects.
class HostFramework {
 public:
  virtual ~HostFramework() = default;
  virtual GlobalServices& Globals() = 0;
  // The host connection object: an open connection to the ERP database.
  virtual std::unique_ptr<Database> OpenConnection(const std::string& connection_string) = 0;
  virtual std::unique_ptr<LogService> CreateLog() = 0;
  virtual std::unique_ptr<ParameterSetStore> CreateParameterStore(Database& db) = 0;
  virtual std::unique_ptr<DateConverter> CreateDateConverter(Database& db) = 0;
  // Throws Error when the object cannot be created.
  virtual std::unique_ptr<BusinessObject> CreateBusinessObject(const std::string& name) = 0;
  virtual const Clock& clock() = 0;
  // The host's sales-document object, not yet configured.
  virtual std::unique_ptr<SalesDocument> CreateSalesDocument() = 0;
  virtual std::unique_ptr<ProgressiveService> CreateProgressive(Database& db) = 0;
  virtual std::unique_ptr<NumberingService> CreateNumbering(Database& db) = 0;
  // The operating system's debug-string facility.
  virtual void DebugTrace(const std::string& line) = 0;
  // Who is running the module (machine and process), for the run ledger.
  virtual std::string ProcessDescription() { return std::string(); }
};

}  // namespace zodadovez

namespace zodadovez {

// A record of the host document object (header or row): columns read and written by name,
// case-insensitively. Reading a column never written gives Empty.
class DocumentRecord {
 public:
  virtual ~DocumentRecord() = default;
  virtual Value Get(std::string_view column) const = 0;
  virtual void Set(std::string_view column, Value value) = 0;
};

// The host's sales-document object: one document in memory, bound to one document type.
// Operations throw Error when the host refuses them; Save reports a failed save through
// error() instead.
class SalesDocument {
 public:
  // The settings object, in the order the binding sets them.
  struct Settings {
    bool first_option = true;
    Database* connection = nullptr;
    std::string connection_string;
    std::int32_t company = 0;
    std::string document_type;
    bool options[5] = {true, true, true, false, true};
  };
  virtual ~SalesDocument() = default;

  // Binding: settings, start, end.
  virtual void Configure(const Settings& settings) = 0;
  virtual const std::string& document_type() const = 0;
  virtual void SetDocumentType(const std::string& type) = 0;
  virtual void Start() = 0;
  virtual void End() = 0;

  // Header, in the order of use.
  virtual void Prepare(const std::string& condition) = 0;  // "1=0": opens the sets empty
  virtual void NewDocument() = 0;
  virtual DocumentRecord& Header() = 0;
  // Fills the header values that follow from the customer (kind 0 = customer).
  virtual void SetCustomer(const Value& customer) = 0;
  virtual void SetPayment(const std::string& payment_code) = 0;
  virtual void SetNumber(std::int64_t number) = 0;
  virtual void SetDate(const Value& date) = 0;

  // Rows, in the order of use.
  virtual void NewRow() = 0;
  virtual DocumentRecord& Row() = 0;
  virtual void SetArticle(const std::string& article) = 0;
  virtual void SetPrice(double price) = 0;
  virtual void SetQuantity(double quantity) = 0;
  virtual void SetVatCode(const std::string& vat_code) = 0;
  virtual void SetRowPayment(const std::string& payment_code) = 0;
  virtual void SetRevenueAccount(const std::string& account) = 0;
  virtual void SetCompetenceStart(const Value& date) = 0;
  virtual void SetCompetenceEnd(const Value& date) = 0;
  virtual void Recompute() = 0;
  virtual void ConfirmRow() = 0;

  // Stores the document (header and confirmed rows) in one transaction; error() tells
  // whether it failed (0 = stored).
  virtual void Save() = 0;
  virtual int error() const = 0;
  virtual std::string error_description() const = 0;
  // The last value the object wrote to a column ("DO11_DOCTESTATA", "DO11_NUMREG_CO99").
  virtual std::string LastValue(const std::string& table, const std::string& column) = 0;
};

// The progressive service (CG26_PROGANAG) and the numbering object of the host.
class ProgressiveService {
 public:
  virtual ~ProgressiveService() = default;
  // The next value of the progressive `key` ("ANAGG").
  virtual std::int64_t Next(const std::string& key) = 0;
};
class NumberingService {
 public:
  virtual ~NumberingService() = default;
  // The next number of `kind` (901: customers) for the company.
  virtual std::int64_t Next(int company, int kind) = 0;
};

}  // namespace zodadovez
