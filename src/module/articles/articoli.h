// The article writer: MG66_ANAGRART and its companions MG43, MG67, MG68, MG87.
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class FRMZEV_ZODADOVEZ;

// Creates the article when missing (with its companion rows, analytic branch and project when
// `create_analytic`), and sets the window's progressive number of the article.
void ScrivoArticolo(FRMZEV_ZODADOVEZ& w, const std::string& code, const std::string& description,
                    bool create_analytic);
void ScrivoArtPers(FRMZEV_ZODADOVEZ& w, const std::string& code);
void ScrivoScorte(FRMZEV_ZODADOVEZ& w, const std::string& code, const std::string& option,
                  const std::string& deposit);
void ScrivoConfezioni(FRMZEV_ZODADOVEZ& w, const std::string& code, const std::string& option,
                      const std::string& packaging);
void Scrivo_DescrizioneArt(FRMZEV_ZODADOVEZ& w, const std::string& code,
                           const std::string& option, const std::string& description);
std::int16_t Leggi_NumeroArticolo(FRMZEV_ZODADOVEZ& w, const std::string& code);
std::int16_t Max_NumeroFamiglia(FRMZEV_ZODADOVEZ& w);

}  // namespace zodadovez
