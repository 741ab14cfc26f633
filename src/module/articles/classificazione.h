// Article classification: families, subfamilies, groups, brands, statistical groups and the
// analytic classes A, B, C, created when missing.
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class ImportRun;

// Family (MG53) and analytic class A (PD1F) of the row's service type; sets the family
// description field.
void VerificaFamiglia(ImportRun& run, const std::string& description, std::int16_t kind);
// Subfamily (MG54) and analytic class B (PD1G).
void VerificaSFamiglia(ImportRun& run, const std::string& code,
                       const std::string& description);
// Group (MG55) and analytic class C (PD1H).
void VerificaGruppo(ImportRun& run, const std::string& code, const std::string& description);
// Brand (MG64).
void VerificaMarca(ImportRun& run, const std::string& code, const std::string& description);
// Statistical group 1 (MG74) or 2 (MG75), by `group` "1" or "2".
void VerificaGruppoStat(ImportRun& run, const std::string& code, const std::string& group);

}  // namespace zodadovez
