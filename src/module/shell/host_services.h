// Interfaces of the host framework services the module uses; the host supplies them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "module/common/value.h"

namespace zodadovez {

class Database;

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
  // The operating system's debug-string facility.
  virtual void DebugTrace(const std::string& line) = 0;
};

}  // namespace zodadovez
