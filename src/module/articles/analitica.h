// Analytic accounts (PC03_ANAGPDC, five levels) and projects (PD68_PROGETTI) of new articles.
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class ImportRun;

// The account of `level` (1 to 5): codes, level memory, insert when missing.
void Scrivo_AnagAnalitica(ImportRun& run, std::int16_t level);
// The analytic branch of an article: levels 1 to 5 in order.
void ScriviRamoAnalitico(ImportRun& run);
// The project, inserted when missing.
void Scrivo_Progetto(ImportRun& run, const std::string& code, const std::string& description);

}  // namespace zodadovez
