// The results and anomaly files of a configuration run, in the dated log folder.
#pragma once

#include <string>

namespace zodadovez {

class ImportRun;

struct LogFolder {
  std::string folder;  // "<errors folder>/Log_<date text>/"
  std::string date;    // today as dd_mm_yyyy
  std::string stamp;   // now as dd_mm_yyyy.hh.mm.ss
};

// Composes the log folder of today below the run's errors folder and creates it when missing.
// Throws Error when it cannot be created.
LogFolder CartellaLog(ImportRun& run);

// Writes one results line from run.state.result_label and result_text, then clears both; the
// first call of a configuration creates the file and writes its header. Throws on I/O errors.
void ScriviRisultato(ImportRun& run);
// Writes one anomaly line from the error context and the progress counter; the first call of
// a configuration creates the file and writes its header. Throws on I/O errors.
void ScriviAnomalia(ImportRun& run);
// Closes the anomaly file, then the results file, when open (their paths stay known).
void ChiudiFile(ImportRun& run);

// The fixed-width lines, for the writers and their tests.
std::string ResultLine(const std::string& result, const std::string& label,
                       const std::string& text);
std::string AnomalyLine(long row, const std::string& operation, long number,
                        const std::string& description);

}  // namespace zodadovez
