// Receipt selection and the per-receipt loop of one configuration.
#pragma once

#include <string>

#include "module/common/value.h"

namespace zodadovez {

class ImportRun;
class Recordset;
struct RunState;

// Imports the configuration set in the window's run state: checks, patch level, gym companies,
// the receipt query, one document per receipt, the grouped documents, history and counters.
// Traps its own errors under the label "ZODADOVEZ_FileS2_MOVMA --> ".
void ZODADOVEZ_FileS2_MOVMA(ImportRun& run);

// The receipt condition of the window's mode and ranges (without the gym companies), as the
// selection composes it. Throws ConversionError for a receipt number that is not a number.
std::string CondizioneRicevute(ImportRun& run);

// Writes the run's counters to the results file: "Documenti Presenti = ...", "Documenti
// Importati = ...", "Documenti Scartati = <|present - imported|>".
void ScriviContatori(ImportRun& run);

// Extends the run's earliest and latest receipt dates with `date` (a date; anything else is
// left out).
void EstendiDate(RunState& state, const Value& date);
// Loads the documents already stored for the configuration in the selection's period
// (run.state.stored), and whether this run skips them.
void CaricaMemorizzati(ImportRun& run);
// True (and counted as already stored) when the receipt on which `receipt` stands has a
// document and the run skips stored receipts.
bool GiaMemorizzata(ImportRun& run, Recordset& receipt);
// True, with its results line, for a receipt without date: it is not imported. A receipt
// dated after today gets a results line and is imported.
bool DataNonImportabile(ImportRun& run, Recordset& receipt, DateTime today);
// Writes a results line for each receipt of the gym companies `companies` that has no date:
// a "Normale" run never selects one.
void SegnalaRicevuteSenzaData(ImportRun& run, const std::string& companies);
// The end of every receipt or group handled, saved or rejected: counts it and, every 101,
// writes the run history row.
void ContaCheckpoint(ImportRun& run);

}  // namespace zodadovez
