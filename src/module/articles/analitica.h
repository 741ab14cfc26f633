// Analytic accounts (PC03_ANAGPDC, five levels) and projects (PD68_PROGETTI) of new articles.
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class FRMZEV_ZODADOVEZ;

// The account of `level` (1 to 5): codes, level memory, insert when missing.
void Scrivo_AnagAnalitica(FRMZEV_ZODADOVEZ& w, std::int16_t level);
// The analytic branch of an article: levels 1 to 5 in order.
void ScriviRamoAnalitico(FRMZEV_ZODADOVEZ& w);
// The project, inserted when missing.
void Scrivo_Progetto(FRMZEV_ZODADOVEZ& w, const std::string& code, const std::string& description);

}  // namespace zodadovez
