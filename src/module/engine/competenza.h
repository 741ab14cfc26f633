// Competence periods: the subscription period to which a receipt and each of its rows belong.
#pragma once

#include <cstdint>

namespace zodadovez {

class ImportRun;

// Reads the competence period of the current receipt (`row_id` 0) or of its row `row_id` from
// the gym database. The document level sets run.document.competence_start/end: the enrolment's
// period, or the receipt day when it has none or it ends before it starts. The row level sets
// run.document.row_competence_start/end: the enrolment's period (from patch level 514100 the
// period stored on the row, when complete), or the document period when that is incomplete or
// ends before it starts. A receipt the query does not find changes nothing. On an error the
// anomaly is recorded under "PrendoDateCompetenza" and the fields keep what they held.
void PrendoDateCompetenza(ImportRun& run, std::int32_t& row_id);

}  // namespace zodadovez
