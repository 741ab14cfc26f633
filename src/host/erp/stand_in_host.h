// The stand-in host framework: the services the module asks of its ERP host, implemented
// directly on the ERP database.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "module/common/host_services.h"

namespace zodadovez {

class StatementLog;
struct FaultPlan;

class SystemClock : public Clock {
 public:
  DateTime Now() const override;
};

// A clock that stands still until moved; for golden tests.
class FixedClock : public Clock {
 public:
  explicit FixedClock(DateTime now) : now_(now) {}
  DateTime Now() const override { return now_; }
  void Set(DateTime now) { now_ = now; }

 private:
  DateTime now_;
};

// Answers message boxes from a script, and remembers what was shown.
class ScriptedMessages : public MessageService {
 public:
  struct Shown {
    std::string text;
    int style;
    std::string title;
  };
  // Answers are taken in order; when they run out, every box is answered `fallback`.
  explicit ScriptedMessages(std::vector<int> answers = {}, int fallback = kAnswerYes)
      : answers_(std::move(answers)), fallback_(fallback) {}
  int Show(const std::string& text, int style, const std::string& title) override;
  const std::vector<Shown>& shown() const { return shown_; }

 private:
  std::vector<int> answers_;
  std::size_t next_ = 0;
  int fallback_;
  std::vector<Shown> shown_;
};

struct StandInOptions {
  std::string connection;           // sqlite:PATH or sqlserver:...
  int company = 1;
  const Clock* clock = nullptr;      // null: the system clock
  MessageService* messages = nullptr;  // null: the host offers no message service
  StatementLog* statement_log = nullptr;  // when set, connections record every statement
  // When set, connections fail the statements the plan picks (reliability tests); the plan
  // counts over every connection opened. A failed statement is not in the statement log.
  FaultPlan* faults = nullptr;
  // Where the host log and the debug trace lines go (besides being kept in memory).
  std::function<void(const std::string&)> log_sink;
  std::function<void(const std::string&)> trace_sink;
  // A business object whose creation fails (tests of the activation's error report).
  std::string failing_object;
};

class StandInHost : public HostFramework {
 public:
  explicit StandInHost(StandInOptions options);
  ~StandInHost() override;

  GlobalServices& Globals() override;
  std::unique_ptr<Database> OpenConnection(const std::string& connection_string) override;
  std::unique_ptr<LogService> CreateLog() override;
  std::unique_ptr<ParameterSetStore> CreateParameterStore(Database& db) override;
  std::unique_ptr<DateConverter> CreateDateConverter(Database& db) override;
  std::unique_ptr<ProgressiveService> CreateProgressive(Database& db) override;
  std::unique_ptr<NumberingService> CreateNumbering(Database& db) override;
  std::unique_ptr<BusinessObject> CreateBusinessObject(const std::string& name) override;
  // A sales document on the stand-in's clock; Configure gives it the window's connection.
  std::unique_ptr<SalesDocument> CreateSalesDocument() override;
  const Clock& clock() override;
  void DebugTrace(const std::string& line) override;

  // What the host log and the debug trace received, in order.
  const std::vector<std::string>& log_lines() const { return log_lines_; }
  const std::vector<std::string>& trace_lines() const { return trace_lines_; }

 private:
  class GlobalServicesImpl;
  class LogImpl;
  StandInOptions options_;
  SystemClock system_clock_;
  std::unique_ptr<GlobalServicesImpl> globals_;
  std::vector<std::string> log_lines_;
  std::vector<std::string> trace_lines_;
};

// The parameter sets of the window, stored in VRN99_IMPEXPPARAM under the program name
// "ZEVUO_ZODADOVEZ", one row per set and key.
class Vrn99ParameterStore : public ParameterSetStore {
 public:
  explicit Vrn99ParameterStore(Database& db) : db_(db) {}
  void Load(int company) override;
  std::optional<ParameterSet> Find(int company, const std::string& name) override;
  void Save(int company, const std::string& name, const ParameterSet& set) override;
  std::vector<std::string> Names(int company) override;

 private:
  Database& db_;
};

}  // namespace zodadovez
