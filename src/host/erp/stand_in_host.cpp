#include "host/erp/stand_in_host.h"

#include <fmt/format.h>

#include <charconv>

#include "host/data/backend.h"
#include "host/data/faulty_database.h"
#include "host/data/statement_log.h"
#include "host/erp/numbering.h"
#include "host/erp/sales_document.h"
#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/transaction.h"

namespace zodadovez {
namespace {

constexpr const char* kProgram = "ZEVUO_ZODADOVEZ";

class StandInDateConverter : public DateConverter {
 public:
  explicit StandInDateConverter(Database& db) : db_(db) {}
  Result Convert(const Value& value) const override {
    try {
      return {0, db_.date_text(value.ToDate())};
    } catch (const Error&) {
      return {1, ""};
    }
  }

 private:
  Database& db_;
};

class NamedObject : public BusinessObject {
 public:
  explicit NamedObject(std::string name) : name_(std::move(name)) {}
  const std::string& name() const override { return name_; }

 private:
  std::string name_;
};

}  // namespace

DateTime SystemClock::Now() const {
  // The databases store local times: the local wall clock, as seconds.
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  return MakeDateTime(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday), local.tm_hour, local.tm_min,
                      local.tm_sec);
}

int ScriptedMessages::Show(const std::string& text, int style, const std::string& title) {
  shown_.push_back({text, style, title});
  return next_ < answers_.size() ? answers_[next_++] : fallback_;
}

class StandInHost::GlobalServicesImpl : public GlobalServices {
 public:
  explicit GlobalServicesImpl(const StandInOptions& o) : options_(o) {}
  std::string ConnectionString() override { return options_.connection; }
  int Company() override { return options_.company; }
  std::string ServerName(Database& db) override { return db.server_name(); }
  MessageService* Messages() override { return options_.messages; }

  CompanyParameters Parameters(Database& db, int company) override {
    // The company's own rows override the global ones (company 0).
    Recordset rs = db.open(fmt::format(
        "SELECT HOST_CHIAVE, HOST_VALORE FROM HOST_SETTINGS WITH (NOLOCK) WHERE HOST_DITTA IN "
        "(0, {}) ORDER BY HOST_DITTA",
        company));
    CompanyParameters p;
    for (; !rs.eof(); rs.move_next()) {
      std::string key = RTrimNz(rs["HOST_CHIAVE"]);
      std::string value = RTrimNz(rs["HOST_VALORE"]);
      if (key == "CODIVA_DEFAULT")
        p.default_vat_code = value;
      else if (key == "CODIVA_ARTICOLI")
        p.article_vat_code = value;
      else if (key == "GRUPPO_CLIENTI")
        p.customer_group = value;
      else if (key == "CONTO_CONTROPARTITA")
        p.counterpart_account = value;
      else if (key == "GRUPPO_PDC")
        p.chart_group = value;
      else if (key == "GERARCHIA_CLASSI")
        p.classification_hierarchy = value;
      else if (key == "PIANO_ANALITICO")
        p.analytic_chart = Value(value).ToInteger();
      else if (key == "DEPOSITO_DEFAULT")
        p.default_deposit = value;
      else if (key == "UTENTE")
        p.user = value;
    }
    return p;
  }

 private:
  const StandInOptions& options_;
};

class StandInHost::LogImpl : public LogService {
 public:
  explicit LogImpl(StandInHost& host) : host_(host) {}
  void WriteLine(const std::string& line) override {
    host_.log_lines_.push_back(line);
    if (host_.options_.log_sink) host_.options_.log_sink(line);
  }
  void LogError(long number, const std::string& description,
                const std::string& application) override {
    WriteLine(fmt::format("{}: errore {}: {}", application, number, description));
  }

 private:
  StandInHost& host_;
};

StandInHost::StandInHost(StandInOptions options)
    : options_(std::move(options)), globals_(std::make_unique<GlobalServicesImpl>(options_)) {}

StandInHost::~StandInHost() = default;

GlobalServices& StandInHost::Globals() { return *globals_; }

std::unique_ptr<Database> StandInHost::OpenConnection(const std::string& connection_string) {
  std::unique_ptr<Database> db = OpenDatabase(connection_string);
  if (options_.faults != nullptr) {
    db = std::make_unique<FaultyDatabase>(std::move(db), options_.faults);
  }
  if (options_.statement_log != nullptr) {
    db = std::make_unique<LoggingDatabase>(std::move(db), options_.statement_log);
  }
  return db;
}

std::unique_ptr<LogService> StandInHost::CreateLog() { return std::make_unique<LogImpl>(*this); }

std::unique_ptr<ParameterSetStore> StandInHost::CreateParameterStore(Database& db) {
  return std::make_unique<Vrn99ParameterStore>(db);
}

std::unique_ptr<DateConverter> StandInHost::CreateDateConverter(Database& db) {
  return std::make_unique<StandInDateConverter>(db);
}

std::unique_ptr<ProgressiveService> StandInHost::CreateProgressive(Database& db) {
  return std::make_unique<TableProgressive>(db);
}

std::unique_ptr<NumberingService> StandInHost::CreateNumbering(Database& db) {
  return std::make_unique<CliForNumbering>(db);
}

std::unique_ptr<BusinessObject> StandInHost::CreateBusinessObject(const std::string& name) {
  if (name == options_.failing_object) {
    throw Error(fmt::format("impossibile creare l'oggetto {}", name), 429);
  }
  return std::make_unique<NamedObject>(name);
}

std::unique_ptr<SalesDocument> StandInHost::CreateSalesDocument() {
  return std::make_unique<StandInSalesDocument>(clock());
}

const Clock& StandInHost::clock() {
  return options_.clock != nullptr ? *options_.clock : system_clock_;
}

void StandInHost::DebugTrace(const std::string& line) {
  trace_lines_.push_back(line);
  if (options_.trace_sink) options_.trace_sink(line);
}

// --- Parameter sets -------------------------------------------------------------------------

void Vrn99ParameterStore::Load(int) {}

std::optional<ParameterSet> Vrn99ParameterStore::Find(int company, const std::string& name) {
  Recordset rs = db_.open(
      fmt::format("SELECT VRN99_CHIAVE, VRN99_VALORE FROM VRN99_IMPEXPPARAM WITH (NOLOCK) WHERE "
                  "VRN99_DITTA_CG18 = {} AND VRN99_PROGRAMMA = {} AND VRN99_CODICE = {}",
                  company, SqlQuote(kProgram), SqlQuote(name)));
  if (rs.eof()) return std::nullopt;
  ParameterSet set;
  for (; !rs.eof(); rs.move_next()) {
    std::string key = RTrimNz(rs["VRN99_CHIAVE"]);
    std::string value = RTrimNz(rs["VRN99_VALORE"]);
    if (key == "CONFIGURAZIONI") {
      std::size_t start = 0;
      while (start < value.size()) {
        std::size_t comma = value.find(',', start);
        std::string part =
            value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::int64_t id = 0;
        auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), id);
        if (ec == std::errc() && end == part.data() + part.size()) set.configurations.push_back(id);
        start = comma == std::string::npos ? value.size() : comma + 1;
      }
    } else if (key == "ELABORA") {
      set.mode = value == "1" ? 1 : 0;
    } else if (key == "DATA_INI") {
      set.date_from = value;
    } else if (key == "DATA_FINE") {
      set.date_to = value;
    } else if (key == "DADOC") {
      set.number_from = value;
    } else if (key == "ADOC") {
      set.number_to = value;
    }
  }
  return set;
}

void Vrn99ParameterStore::Save(int company, const std::string& name, const ParameterSet& set) {
  // The set is replaced whole: a failure halfway leaves the one that was there.
  Transaction transaction(db_);
  db_.execute(fmt::format(
      "DELETE FROM VRN99_IMPEXPPARAM WHERE VRN99_DITTA_CG18 = {} AND VRN99_PROGRAMMA = {} AND "
      "VRN99_CODICE = {}",
      company, SqlQuote(kProgram), SqlQuote(name)));
  std::string ids;
  for (std::int64_t id : set.configurations) ids += (ids.empty() ? "" : ",") + std::to_string(id);
  const std::pair<const char*, std::string> rows[] = {
      {"CONFIGURAZIONI", ids},     {"ELABORA", std::to_string(set.mode)},
      {"DATA_INI", set.date_from}, {"DATA_FINE", set.date_to},
      {"DADOC", set.number_from},  {"ADOC", set.number_to}};
  WritableRecordset rs = db_.open_for_insert("SELECT * FROM VRN99_IMPEXPPARAM WHERE 1 = 0");
  for (const auto& [key, value] : rows) {
    rs.add_new();
    rs.set("VRN99_DITTA_CG18", company);
    rs.set("VRN99_PROGRAMMA", kProgram);
    rs.set("VRN99_CODICE", name);
    rs.set("VRN99_CHIAVE", key);
    rs.set("VRN99_VALORE", value);
  }
  rs.update_batch();
  transaction.Commit();
}

std::vector<std::string> Vrn99ParameterStore::Names(int company) {
  Recordset rs = db_.open(
      fmt::format("SELECT DISTINCT VRN99_CODICE FROM VRN99_IMPEXPPARAM WITH (NOLOCK) WHERE "
                  "VRN99_DITTA_CG18 = {} AND VRN99_PROGRAMMA = {} ORDER BY VRN99_CODICE",
                  company, SqlQuote(kProgram)));
  std::vector<std::string> names;
  for (; !rs.eof(); rs.move_next()) names.push_back(RTrimNz(rs["VRN99_CODICE"]));
  return names;
}

}  // namespace zodadovez
