#include "host/data/backend.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <filesystem>
#include <optional>

#include "host/data/sqlite/sqlite_database.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "host/erp/stand_in_procedures.h"
#include "host/schema/schema_model.h"
#include "host/schema/schemas.h"
#include "module/common/errors.h"
#include "module/common/sql_text.h"
#ifdef ZODADOVEZ_HAVE_ODBC
#include "host/data/odbc/odbc_database.h"
#endif

namespace zodadovez {
namespace {

constexpr std::string_view kSqlite = "sqlite:";
constexpr std::string_view kSqlServer = "sqlserver:";
constexpr std::string_view kOdbc = "odbc:";

// The ODBC connection string of a sqlserver: or odbc: URI, or nothing for another scheme.
std::optional<std::string_view> OdbcConnection(std::string_view uri) {
  for (std::string_view scheme : {kSqlServer, kOdbc}) {
    if (uri.starts_with(scheme)) return uri.substr(scheme.size());
  }
  return std::nullopt;
}

std::unique_ptr<Database> OpenSqlServer(std::string_view connection,
                                        GymAccess gyms = GymAccess::kReadOnly) {
#ifdef ZODADOVEZ_HAVE_ODBC
  auto db = std::make_unique<OdbcDatabase>(std::string(connection), odbc::ConnectOptions{}, gyms);
  // Through SQLite's driver the ERP's procedures are the embedded backend's stand-ins.
  if (db->is_sqlite()) {
    for (auto& [name, procedure] : StandInProcedures()) db->RegisterProcedure(name, procedure);
  }
  return db;
#else
  (void)connection;
  (void)gyms;
  throw ConfigError("this build has no SQL Server backend (configured without ODBC)");
#endif
}

// The batch of the stand-in ERP schema that creates `table`.
std::string ErpSchemaBatch(std::string_view table) {
  for (const std::string& batch : bridge::SplitBatches(ErpSchema())) {
    schema::SchemaModel model;
    model.AddScript(batch);
    if (model.FindTable(table) != nullptr) return batch;
  }
  throw ConfigError(fmt::format("the stand-in ERP schema does not create {}", table));
}

// The text may be a connection string with its password (given without "sqlserver:", or with
// a misspelt scheme): only a plain path is quoted whole, else at most the scheme.
[[noreturn]] void BadUri(std::string_view uri) {
  std::string shown(uri);
  if (uri.find_first_of("=;{}") != std::string_view::npos) {
    std::size_t colon = uri.find(':');
    std::string_view scheme = colon == std::string_view::npos ? "" : uri.substr(0, colon + 1);
    shown = scheme.find_first_of("=;{}") == std::string_view::npos && !scheme.empty()
                ? std::string(scheme) + "..."
                : "a connection string";
  }
  throw ConfigError(fmt::format(
      "unknown database '{}': expected sqlite:PATH, sqlserver:ODBC-CONNECTION-STRING or "
      "odbc:ODBC-CONNECTION-STRING",
      shown));
}

}  // namespace

std::unique_ptr<Database> OpenDatabase(std::string_view uri, GymAccess gyms) {
  if (uri.starts_with(kSqlite)) {
    auto db = std::make_unique<SqliteDatabase>(std::filesystem::path(uri.substr(kSqlite.size())),
                                               false, gyms);
    for (auto& [name, procedure] : StandInProcedures()) db->RegisterProcedure(name, procedure);
    return db;
  }
  if (std::optional<std::string_view> odbc = OdbcConnection(uri)) {
    return OpenSqlServer(*odbc, gyms);
  }
  BadUri(uri);
}

void RunScript(Database& db, std::string_view script) {
  std::vector<std::string> batches = bridge::SplitBatches(script);
  for (std::size_t i = 0; i < batches.size(); ++i) {
    try {
      db.execute(batches[i]);
    } catch (const DataError& e) {
      throw DataError(fmt::format("batch {} of the script: {}", i + 1, e.what()));
    }
  }
}

void InitDatabases(std::string_view uri, const std::string& gym_name) {
  if (gym_name.empty() || gym_name.find_first_of("/\\.[]'\"") != std::string::npos) {
    throw ConfigError(fmt::format("invalid gym database name '{}'", gym_name));
  }
  if (uri.starts_with(kSqlite)) {
    std::filesystem::path erp(uri.substr(kSqlite.size()));
    std::filesystem::path gym = erp.parent_path() / (gym_name + ".db");
    for (const auto& file : {erp, gym}) {
      if (std::filesystem::exists(file)) {
        throw ConfigError(
            fmt::format("{} already exists; remove it or name another file", file.string()));
      }
    }
    if (!erp.parent_path().empty() && !std::filesystem::is_directory(erp.parent_path())) {
      throw ConfigError(fmt::format("folder not found: {}", erp.parent_path().string()));
    }
    try {
      {
        SqliteDatabase db(erp, true);
        RunScript(db, ErpSchema());
      }
      SqliteDatabase db(gym, true);
      RunScript(db, GymSchema());
    } catch (...) {
      // A failed init leaves nothing behind.
      std::error_code ignored;
      for (const auto& file : {erp, gym}) {
        for (const char* suffix : {"", "-wal", "-shm"}) {
          std::filesystem::remove(file.string() + suffix, ignored);
        }
      }
      throw;
    }
    return;
  }
  if (std::optional<std::string_view> odbc = OdbcConnection(uri)) {
    std::unique_ptr<Database> db = OpenSqlServer(*odbc);
#ifdef ZODADOVEZ_HAVE_ODBC
    if (static_cast<OdbcDatabase&>(*db).is_sqlite()) {
      throw ConfigError(
          "init creates SQLite files with --erp sqlite:PATH; open them through the "
          "ODBC driver afterwards");
    }
#endif
    RunScript(*db, ErpSchema());
    RunScript(*db, ProceduresSchema());
    db->execute(
        fmt::format("IF DB_ID({0}) IS NULL CREATE DATABASE [{1}]", SqlQuote(gym_name), gym_name));
    // The gym schema names its tables dbo.X: each batch runs in the gym database's context.
    for (const std::string& batch : bridge::SplitBatches(GymSchema())) {
      db->execute(fmt::format("USE [{}];\n{}", gym_name, batch));
    }
    return;
  }
  BadUri(uri);
}

std::vector<std::string> InstallModuleTables(std::string_view uri) {
  std::unique_ptr<Database> db = OpenDatabase(uri);
  schema::SchemaModel zev;
  zev.AddScript(ZevSchema());
  std::vector<std::string> present;
  std::vector<std::string> created;
  for (const schema::Table* table : zev.tables()) {
    if (EsisteTabella(*db, table->name, "T")) present.push_back(table->name);
    created.push_back(table->name);
  }
  if (!present.empty()) {
    throw ConfigError(fmt::format("the ERP database has {} already: nothing was created",
                                  fmt::join(present, ", ")));
  }
  RunScript(*db, ZevSchema());
  if (!EsisteTabella(*db, "HOST_SETTINGS", "T")) {
    RunScript(*db, ErpSchemaBatch("HOST_SETTINGS"));
    created.push_back("HOST_SETTINGS");
  }
  return created;
}

}  // namespace zodadovez
