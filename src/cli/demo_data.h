// The demo databases: an ERP company configured to import two gym databases, and the gyms'
// users, catalogues and receipts, generated from a seed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zodadovez::cli {

struct DemoOptions {
  std::filesystem::path dir;
  std::int64_t receipts = 60;  // over both gym databases
  std::uint64_t seed = 1;
};

// The files the demo consists of, in `dir`: the ERP database erp.db, the gym database
// Palestra.db beside it (configuration 1, reached by three-part names) and the gym database
// Mare behind linked server GYM_2 (configuration 2), linked/GYM_2/Mare.db.
std::filesystem::path DemoErpFile(const std::filesystem::path& dir);
std::vector<std::filesystem::path> DemoDatabaseFiles(const std::filesystem::path& dir);

// Called now and then while the receipts are written, with the receipts written so far.
using DemoProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// Creates the demo databases in `options.dir` (which must exist) and fills them: the same seed
// gives the same rows. ERP company 1 gets its host settings, currency, price lists, document
// types, VAT codes, payment terms, chart of accounts, towns, a generic customer and the import
// configurations; each gym database its companies, catalogues, users and receipts. The errors
// folder of both configurations is `dir`/log. Throws ConfigError when one of the files exists
// already; on any failure the files created are removed again.
void CreateDemoDatabases(const DemoOptions& options, const DemoProgress& progress = nullptr);

// The Italian tax code of a person: three letters of the surname, three of the first name, year,
// month letter, day (plus 40 for a woman), the cadastral code of the birth town and the check
// letter. Letters outside A-Z (apostrophes, blanks) are ignored.
std::string CodiceFiscale(std::string_view surname, std::string_view name, int year, unsigned month,
                          unsigned day, bool female, std::string_view town_code);
// The check letter of the first 15 characters of a tax code (upper-case letters and digits).
char CodiceFiscaleCheck(std::string_view first15);
// The check digit of the first 10 digits of a VAT number.
char PartitaIvaCheck(std::string_view first10);

}  // namespace zodadovez::cli
