// Competence periods of receipts and rows, in both gym layouts.
#include "module/engine/competenza.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/common/mdlzev_zodadovez.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

// Receipts of gym company 10, by number:
//   77 of 15/12/2023: rows 5011 and 5012 sell enrolment 900 (01/01–31/03/2024); 5012 also
//      keeps its own period (01/02–29/02).
//   78 of 10/05/2024: a bar sale, no enrolment.
//   79 of 01/06/2024: enrolment 901 ends before it starts.
//   80 of 01/07/2024: enrolment 902 (01/07–31/12); the row keeps only a start of its own.
//   81 of 20/08/2024: no enrolment; the row's own period ends before it starts.
void SeedGym(WindowFixture& f) {
  f.Exec(
      "INSERT INTO Palestra.dbo.RicevuteTestata (IDRicevuta, IDRicevuteAzienda, NumeroRicevuta, "
      "DataRicevuta) VALUES (501, 10, 77, '2023-12-15 00:00:00'), (502, 10, 78, '2024-05-10 "
      "00:00:00'), (503, 10, 79, '2024-06-01 00:00:00'), (504, 10, 80, '2024-07-01 00:00:00'), "
      "(505, 10, 81, '2024-08-20 00:00:00')");
  f.Exec(
      "INSERT INTO Palestra.dbo.RicevuteRiga (IDRicevuteRiga, IDRicevuta, IDCassaMovimento, "
      "DataInizioOrigine, DataFineOrigine) VALUES (5011, 501, 11, NULL, NULL), "
      "(5012, 501, 12, '2024-02-01 00:00:00', '2024-02-29 00:00:00'), "
      "(5021, 502, 21, NULL, NULL), (5031, 503, 31, NULL, NULL), (5041, 504, 41, "
      "'2024-08-01 00:00:00', NULL), (5051, 505, 51, '2024-09-30 00:00:00', '2024-09-01 "
      "00:00:00')");
  f.Exec(
      "INSERT INTO Palestra.dbo.CassaMovimenti (IDCassaMovimento, IDRicevutaAzienda, "
      "IDRicevuteRiga, IDIscrizione) VALUES (11, 10, 5011, 900), (12, 10, 5012, 900), "
      "(21, 10, 5021, NULL), (31, 10, 5031, 901), (41, 10, 5041, 902), (51, 10, 5051, NULL)");
  f.Exec(
      "INSERT INTO Palestra.dbo.AbbonamentiIscrizione (IDIscrizione, DataInizio, DataFine) "
      "VALUES (900, '2024-01-01 00:00:00', '2024-03-31 00:00:00'), (901, '2024-09-30 00:00:00', "
      "'2024-09-01 00:00:00'), (902, '2024-07-01 00:00:00', '2024-12-31 00:00:00')");
}

std::string Day(const Value& v) { return RTrimNz(v).empty() ? "" : FormatItalianDate(v.ToDate()); }

ImportRun& Receipt(WindowFixture& f, std::int32_t number, std::int64_t id) {
  ImportRun& w = f.run();
  w.state.gym_database = "Palestra";
  w.document.gym_company = 10;
  w.document.receipt_number = number;
  w.document.receipt_id = Decimal(id);
  w.document.competence_start = Value();
  w.document.competence_end = Value();
  return w;
}

TEST(PrendoDateCompetenzaTest, DocumentAndRowPeriods) {
  struct Case {
    std::int32_t patch, number;
    std::int64_t id;
    std::int32_t row;
    const char *document_period, *row_period;
  };
  const Case cases[] = {
      {0, 77, 501, 5011, "01/01/2024-31/03/2024", "01/01/2024-31/03/2024"},
      {0, 77, 501, 5012, "01/01/2024-31/03/2024", "01/01/2024-31/03/2024"},
      {514100, 77, 501, 5012, "01/01/2024-31/03/2024", "01/02/2024-29/02/2024"},
      {514100, 77, 501, 5011, "01/01/2024-31/03/2024", "01/01/2024-31/03/2024"},
      {0, 78, 502, 5021, "10/05/2024-10/05/2024", "10/05/2024-10/05/2024"},
      {0, 79, 503, 5031, "01/06/2024-01/06/2024", "01/06/2024-01/06/2024"},
      {514100, 80, 504, 5041, "01/07/2024-31/12/2024", "01/07/2024-31/12/2024"},
      {514100, 81, 505, 5051, "20/08/2024-20/08/2024", "20/08/2024-20/08/2024"},
  };
  WindowFixture f;
  SeedGym(f);
  f.Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.row) + " at patch " + std::to_string(c.patch));
    ImportRun& w = Receipt(f, c.number, c.id);
    w.state.patch_level = c.patch;
    std::int32_t row = 0;
    PrendoDateCompetenza(w, row);
    row = c.row;
    PrendoDateCompetenza(w, row);
    const DocumentContext& d = w.document;
    EXPECT_EQ(Day(d.competence_start) + "-" + Day(d.competence_end), c.document_period);
    EXPECT_EQ(Day(d.row_competence_start) + "-" + Day(d.row_competence_end), c.row_period);
  }
  EXPECT_FALSE(f.run().anomaly) << f.run().error.description;
}

TEST(PrendoDateCompetenzaTest, QueryTexts) {
  WindowFixture f;
  f.Show();
  ImportRun& w = Receipt(f, 77, 501);
  const std::string from =
      "from Palestra.dbo.RicevuteTestata as T  with (NOLOCK) inner join "
      "Palestra.dbo.Ricevuteriga as R  with (NOLOCK) on T.idricevuta=R.idricevuta left outer "
      "join Palestra.dbo.CassaMovimenti as C  with (NOLOCK) on "
      "R.idcassamovimento=C.idcassamovimento and t.IDRicevuteAzienda = c.IDRicevutaAzienda ";
  const std::string enrolment =
      " left outer join Palestra.dbo.AbbonamentiIscrizione as AI  with (NOLOCK) on "
      "C.idiscrizione=AI.idiscrizione  Where T.numeroricevuta = 77   AND T.IDRicevuteAzienda = "
      "10 AND T.IDRicevuta = 501";
  const std::string select = " select distinct T.DataRicevuta, AI.datainizio,AI.datafine ";
  const std::string own_period = ", R.DataInizioOrigine, R.DataFineOrigine ";
  const std::string row_join = " AND R.IdRicevuteRiga = C.IdRicevuteRiga ";
  const std::string row_where = " AND R.IdRicevuteRiga = 5012";

  w.state.patch_level = 514100;
  f.log.Clear();
  std::int32_t row = 0;
  PrendoDateCompetenza(w, row);
  row = 5012;
  PrendoDateCompetenza(w, row);
  w.state.patch_level = 514099;
  PrendoDateCompetenza(w, row);

  std::vector<std::string> texts;
  for (const StatementRecord& r : f.log.records()) texts.push_back(r.text);
  EXPECT_EQ(texts,
            (std::vector<std::string>{select + from + enrolment,
                                      select + own_period + from + row_join + enrolment + row_where,
                                      select + from + row_join + enrolment + row_where}));
}

TEST(PrendoDateCompetenzaTest, NothingFoundOrAnErrorKeepsTheFields) {
  WindowFixture f;
  SeedGym(f);
  f.Show();
  ImportRun& w = Receipt(f, 99, 501);  // number and id of different receipts
  w.document.competence_start = Value("kept");
  std::int32_t row = 0;
  PrendoDateCompetenza(w, row);
  EXPECT_EQ(w.document.competence_start, Value("kept"));
  EXPECT_FALSE(w.anomaly);

  w.state.gym_database = "Assente";
  PrendoDateCompetenza(w, row);
  EXPECT_EQ(w.document.competence_start, Value("kept"));
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "PrendoDateCompetenza");
}

}  // namespace
}  // namespace zodadovez
