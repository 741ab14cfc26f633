// Receipt selection and the per-receipt loop of one configuration.
#pragma once

#include <string>

namespace zodadovez {

class FRMZEV_ZODADOVEZ;

// Imports the configuration set in the window's run state: checks, patch level, gym companies,
// the receipt query, one document per receipt, the grouped documents, history and counters.
// Traps its own errors under the label "ZODADOVEZ_FileS2_MOVMA --> ".
void ZODADOVEZ_FileS2_MOVMA(FRMZEV_ZODADOVEZ& w);

// The receipt condition of the window's mode and ranges (without the gym companies), as the
// selection composes it. Throws ConversionError for a receipt number that is not a number.
std::string CondizioneRicevute(FRMZEV_ZODADOVEZ& w);

// Writes the run's counters to the results file: "Documenti Presenti = ...", "Documenti
// Importati = ...", "Documenti Scartati = <|present - imported|>".
void ScriviContatori(FRMZEV_ZODADOVEZ& w);

// The end of every receipt or group handled, saved or rejected: counts it and, every 101,
// writes the run history row.
void ContaCheckpoint(FRMZEV_ZODADOVEZ& w);

}  // namespace zodadovez
