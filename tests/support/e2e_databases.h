// The databases of one end-to-end test on one backend: embedded files in a fresh folder (read
// by the embedded backend, or through SQLite's ODBC driver by the ODBC backend), or a fresh ERP
// and gym database on the SQL Server that ZODADOVEZ_TEST_SQLSERVER names, dropped again
// afterwards.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "host/data/backend.h"
#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/sql_text.h"
#include "tests/support/temp_dir.h"
#ifdef ZODADOVEZ_HAVE_ODBC
#include "host/data/odbc/odbc_text.h"
#endif

namespace zodadovez::testing {

enum class Backend { kEmbedded, kSqliteOdbc, kSqlServer };

inline std::string BackendName(Backend backend) {
  switch (backend) {
    case Backend::kEmbedded:
      return "Embedded";
    case Backend::kSqliteOdbc:
      return "SqliteOdbc";
    case Backend::kSqlServer:
      return "SqlServer";
  }
  return "Unknown";
}

// How GoogleTest names the parameter in its messages.
inline void PrintTo(Backend backend, std::ostream* out) { *out << BackendName(backend); }

class E2eDatabases {
 public:
  // The ERP database with the stand-in schema (on SQL Server the stand-in procedures too) and an
  // empty gym database. Null, with the reason in `why`, when the backend is not available here.
  static std::unique_ptr<E2eDatabases> Create(Backend backend, std::string* why) {
    std::unique_ptr<E2eDatabases> d(new E2eDatabases());
    if (backend == Backend::kEmbedded || backend == Backend::kSqliteOdbc) {
      d->gym_ = "Palestra";
      d->embedded_uri_ = d->dir_.Uri();
      InitDatabases(d->embedded_uri_, d->gym_);
      d->uri_ = d->embedded_uri_;
      if (backend == Backend::kSqliteOdbc) {
#ifdef ZODADOVEZ_HAVE_ODBC
        d->uri_ = "odbc:Driver=SQLite3;Database=" + (d->dir_.path() / "erp.db").string();
#else
        *why = "this build has no ODBC backend (configured without ODBC)";
        return nullptr;
#endif
      }
      return d;
    }
    const char* connection = std::getenv("ZODADOVEZ_TEST_SQLSERVER");
    if (connection == nullptr || *connection == '\0') {
      *why = "ZODADOVEZ_TEST_SQLSERVER is not set: no SQL Server to test against";
      return nullptr;
    }
#ifdef ZODADOVEZ_HAVE_ODBC
    d->admin_ = OpenDatabase(std::string("sqlserver:") + connection);
    std::random_device random;
    // A plain name (IsPlainSqlName), spliced as it is.
    const std::string name = "ZDV_E2E_" + std::to_string(getpid()) + "_" + std::to_string(random());
    d->admin_->execute("CREATE DATABASE " + name);
    d->dropped_.push_back(name);
    d->gym_ = name + "_GYM";
    d->uri_ = "sqlserver:" + odbc::WithAttribute(connection, "Database", name);
    InitDatabases(d->uri_, d->gym_);
    d->dropped_.push_back(d->gym_);
    return d;
#else
    *why = "this build has no SQL Server backend (configured without ODBC)";
    return nullptr;
#endif
  }

  ~E2eDatabases() {
    db_.reset();
    if (!admin_) return;
    for (const std::string& name : dropped_) {
      try {
        // Connections still open in the database (the gym's, reached through the ERP's
        // connection, closed already) would keep it from being dropped.
        admin_->execute("IF DB_ID(" + SqlQuote(name) + ") IS NOT NULL ALTER DATABASE " + name +
                        " SET SINGLE_USER WITH ROLLBACK IMMEDIATE");
        admin_->execute("IF DB_ID(" + SqlQuote(name) + ") IS NOT NULL DROP DATABASE " + name);
      } catch (const Error&) {
        // Left behind on the server, under a name that says where it came from.
      }
    }
  }

  E2eDatabases(const E2eDatabases&) = delete;
  E2eDatabases& operator=(const E2eDatabases&) = delete;

  // The ERP connection, as the host gets it.
  const std::string& uri() const { return uri_; }
  // The same files for the embedded backend, when the databases are SQLite files.
  const std::string& embedded_uri() const { return embedded_uri_; }
  // The gym database's name: "Palestra" embedded, a name of its own on a server.
  const std::string& gym() const { return gym_; }
  // A folder of the test's own, for the reports.
  const std::filesystem::path& dir() const { return dir_.path(); }

  // A connection for setting up and checking rows.
  Database& db() {
    if (!db_) {
      db_ = OpenDatabase(uri_, GymAccess::kReadWrite);
      // The fixture writes dates as "yyyy-mm-dd hh:mm:ss", which a server reads by its
      // language's date order unless told.
      if (admin_) db_->execute("SET DATEFORMAT ymd");
    }
    return *db_;
  }

  // Loads the shared example (tests/data/corpus/fixture.sql) into the gym database, with every
  // configuration's gym database on the ERP's server and its reports below dir(); returns the
  // errors folder.
  std::string LoadExample() {
    std::ifstream in(std::string(ZODADOVEZ_TEST_DATA) + "/corpus/fixture.sql", std::ios::binary);
    std::string script((std::istreambuf_iterator<char>(in)), {});
    const std::string local = "Palestra.dbo.";
    const std::string here = gym_ + ".dbo.";
    for (std::size_t at = script.find(local); at != std::string::npos;
         at = script.find(local, at + here.size())) {
      script.replace(at, local.size(), here);
    }
    RunScript(db(), script);
    std::string errors = (dir() / "errori").string();
    std::filesystem::create_directories(errors);
    db().execute("UPDATE ZEV90_PARAMETRI SET ZEV90_DB_NAME = " + SqlQuote(gym_) +
                 ", ZEV90_NOME_SERVER = " + SqlQuote(db().server_name()) +
                 ", ZEV90_PATH_ERRORI = " + SqlQuote(errors));
    return errors;
  }

 private:
  E2eDatabases() = default;

  TempDir dir_;
  std::string uri_;
  std::string embedded_uri_;
  std::string gym_;
  std::unique_ptr<Database> admin_;  // SQL Server: the connection that creates and drops
  std::vector<std::string> dropped_;
  std::unique_ptr<Database> db_;
};

}  // namespace zodadovez::testing
