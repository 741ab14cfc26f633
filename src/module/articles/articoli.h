// The article writer: MG66_ANAGRART and its companions MG43, MG67, MG68, MG87.
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class ImportRun;

// Creates the article when missing (with its companion rows, analytic branch and project when
// `create_analytic`), and sets the window's progressive number of the article.
void ScrivoArticolo(ImportRun& run, const std::string& code, std::string description,
                    bool create_analytic);
void ScrivoArtPers(ImportRun& run, const std::string& code);
void ScrivoScorte(ImportRun& run, const std::string& code, const std::string& option,
                  const std::string& deposit);
void ScrivoConfezioni(ImportRun& run, const std::string& code, const std::string& option,
                      const std::string& packaging);
void Scrivo_DescrizioneArt(ImportRun& run, const std::string& code,
                           const std::string& option, const std::string& description);
std::int16_t Leggi_NumeroArticolo(ImportRun& run, const std::string& code);
std::int16_t Max_NumeroFamiglia(ImportRun& run);

}  // namespace zodadovez
