// A window over fresh embedded databases, with the stand-in host, a fixed clock and scripted
// message boxes: the ground of the module's tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "host/data/backend.h"
#include "host/data/faulty_database.h"
#include "host/data/statement_log.h"
#include "host/erp/stand_in_host.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/shell/clszev_zodadovez.h"
#include "module/shell/frmzev_zodadovez.h"
#include "tests/support/temp_dir.h"

namespace zodadovez::testing {

class WindowFixture {
 public:
  // Creates the ERP and gym ("Palestra") databases.
  WindowFixture() : clock_(MakeDateTime(2024, 7, 15, 21, 30, 5)) {
    InitDatabases(dir_.Uri(), "Palestra");
  }

  // A fixture over copies of `source`'s databases as they stand, for many runs over the same
  // data without building it anew. `source`'s own connection is closed first, so that its
  // writes are in the files; an errors folder below `source`'s folder moves below this one.
  explicit WindowFixture(WindowFixture& source) : clock_(source.clock_.Now()) {
    company = source.company;
    source.db_.reset();
    std::filesystem::copy(source.dir_.path(), dir_.path(),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    const std::string from = source.dir_.path().string();
    Recordset rs = db().open("SELECT ZEV90_ID, ZEV90_PATH_ERRORI FROM ZEV90_PARAMETRI");
    for (; !rs.eof(); rs.move_next()) {
      std::string path = RTrimNz(rs["ZEV90_PATH_ERRORI"]);
      if (!path.starts_with(from)) continue;
      Exec("UPDATE ZEV90_PARAMETRI SET ZEV90_PATH_ERRORI = " +
           SqlQuote(dir_.path().string() + path.substr(from.size())) +
           " WHERE ZEV90_ID = " + rs["ZEV90_ID"].ToText());
    }
  }

  // A connection for setting up and checking rows; it writes gym data too.
  Database& db() {
    if (!db_) db_ = OpenDatabase(dir_.Uri(), GymAccess::kReadWrite);
    return *db_;
  }
  // Closes db()'s connection (the next call opens another).
  void CloseDb() { db_.reset(); }
  void Exec(const std::string& tsql) { db().execute(tsql); }

  // Creates the plug-in and shows its window (load and first activation); the window's run.
  ImportRun& Show(bool unattended = false, const std::string& schedule = "") {
    return ShowWindow(unattended, schedule).run();
  }
  FRMZEV_ZODADOVEZ& ShowWindow(bool unattended = false, const std::string& schedule = "") {
    StandInOptions o;
    o.connection = dir_.Uri();
    o.company = company;
    o.clock = &clock_;
    o.messages = &messages;
    o.statement_log = &log;
    o.faults = faults;
    plugin_.reset();  // the plug-in of an earlier run goes before the host it speaks to
    host_ = std::make_unique<StandInHost>(o);
    plugin_ = std::make_unique<CLSZEV_ZODADOVEZ>(*host_);
    plugin_->unattended = unattended;
    plugin_->schedule_code = Value(schedule);
    plugin_->Cinterface_ShowForm();
    return *plugin_->Cinterface_Cwindow();
  }

  // Runs the import unattended with `selections`, as a command-line run does; the window's run.
  ImportRun& Import(const ParameterSet& selections) {
    StandInOptions o;
    o.connection = dir_.Uri();
    o.company = company;
    o.clock = &clock_;
    o.statement_log = &log;
    o.faults = faults;
    plugin_.reset();  // the plug-in of an earlier run goes before the host it speaks to
    host_ = std::make_unique<StandInHost>(o);
    plugin_ = std::make_unique<CLSZEV_ZODADOVEZ>(*host_);
    plugin_->unattended = true;
    plugin_->selections = selections;
    plugin_->Cinterface_ShowForm();
    return plugin_->Cinterface_Cwindow()->run();
  }

  // Loads the shared example data (tests/data/corpus/fixture.sql) with both configurations'
  // gym databases local and their reports below the test's folder; returns the errors folder.
  std::string LoadExample() {
    std::ifstream in(std::string(ZODADOVEZ_TEST_DATA) + "/corpus/fixture.sql", std::ios::binary);
    std::string script((std::istreambuf_iterator<char>(in)), {});
    RunScript(db(), script);
    std::string errors = (dir_.path() / "errori").string();
    std::filesystem::create_directories(errors);
    Exec("UPDATE ZEV90_PARAMETRI SET ZEV90_NOME_SERVER = 'EMBEDDED', ZEV90_PATH_ERRORI = '" +
         errors + "'");
    return errors;
  }

  FRMZEV_ZODADOVEZ& window() { return *plugin_->Cinterface_Cwindow(); }
  ImportRun& run() { return window().run(); }
  StandInHost& host() { return *host_; }
  const TempDir& dir() const { return dir_; }

  int company = 1;
  FixedClock clock_;
  ScriptedMessages messages;
  StatementLog log;
  FaultPlan* faults = nullptr;  // when set, the windows' connections fail as it says

 private:
  TempDir dir_;
  std::unique_ptr<Database> db_;
  std::unique_ptr<StandInHost> host_;
  std::unique_ptr<CLSZEV_ZODADOVEZ> plugin_;
};

}  // namespace zodadovez::testing
