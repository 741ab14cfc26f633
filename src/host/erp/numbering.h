// The stand-in host's progressive service and numbering object, both kept in CG26_PROGANAG.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "module/common/host_services.h"

namespace zodadovez {

// The progressives of CG26_PROGANAG: each key (CG26_CODICE) holds the last value handed out
// (CG26_VALPROG). A missing key is created. Known keys also step over the codes already in use
// in the table they number ("ANAGG": CG16_ANAGGEN.CG16_CODICE), so that master records written
// without the progressive never make it hand out a taken code. Errors throw DataError.
class TableProgressive : public ProgressiveService {
 public:
  explicit TableProgressive(Database& db) : db_(db) {}
  std::int64_t Next(const std::string& key) override;

 private:
  Database& db_;
};

// The customer (kind 901) and supplier (kind 902) numbering of a company. The ERP numbers both
// per company; we keep the last number handed out as the CG26_PROGANAG progressive
// "CLIFOR_<company>_<kind>", and a new number is one more than both that and the highest
// CG44_CLIFOR of the company and type (0 for customers, 1 for suppliers). So a number is never
// handed out twice, not even after its customer was deleted, and codes taken outside the
// numbering (a gym user id kept as customer code) are stepped over. Other kinds throw Error.
class CliForNumbering : public NumberingService {
 public:
  explicit CliForNumbering(Database& db) : db_(db) {}
  std::int64_t Next(int company, int kind) override;

 private:
  Database& db_;
};

// Advances the progressive `key` to one more than the larger of its value and `in_use`, and
// returns the new value; creates the key when missing. Safe against a concurrent writer: the
// change only applies when the stored value is still the one read, and is retried otherwise.
std::int64_t AdvanceProgressive(Database& db, std::string_view key, std::int64_t in_use);

}  // namespace zodadovez
