// The results and anomaly files: log folder, file names, headers and fixed-width lines.
#include "module/engine/reports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "module/common/errors.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

// The file's lines, split at "\n" only, so that a "\r" would show.
std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string all(std::istreambuf_iterator<char>(in), {});
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(all.substr(start, nl - start));
  }
  EXPECT_EQ(start, all.size()) << "the last line has no line end";
  return lines;
}

TEST(ReportLinesTest, ColumnsArePaddedAndCutToTheirWidths) {
  const std::string label31(31, 'L');
  const std::string text300(300, 'T');
  const struct {
    std::string got;
    std::string expected;
  } cases[] = {
      {ResultLine("OK", "Clienti", "fatto"),
       "OK" + Blanks(8) + " Clienti" + Blanks(23) + " fatto" + Blanks(251)},
      {ResultLine("", label31, text300),
       Blanks(10) + " " + std::string(30, 'L') + " " + std::string(256, 'T')},
      // Letters count as characters, not bytes; a line break does not split the line.
      {ResultLine("NO", "Proprietà", "riga 1\nriga 2"),
       "NO" + Blanks(8) + " Proprietà" + Blanks(21) + " riga 1 riga 2" + Blanks(243)},
      {AnomalyLine(0, "TrovaIva", 0, "descrizione  "),
       Blanks(10) + " TrovaIva" + Blanks(42) + " " + Blanks(20) + " descrizione" + Blanks(245)},
      {AnomalyLine(7, "Check_KIT", -2147217900, "x"),
       Blanks(9) + "7 Check_KIT" + Blanks(41) + " -2147217900" + Blanks(9) + " x" + Blanks(255)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(CartellaLogTest, DatedFolderBelowTheErrorsFolderCreatedWhenMissing) {
  WindowFixture f;
  ImportRun& w = f.Show();
  const std::string errors = f.dir().path().string();
  w.state.errors_folder = errors + "  ";

  LogFolder log = CartellaLog(w);
  EXPECT_EQ(log.folder, errors + "/Log_15_07_2024/");
  EXPECT_EQ(log.date, "15_07_2024");
  EXPECT_EQ(log.stamp, "15_07_2024.21.30.05");
  EXPECT_TRUE(std::filesystem::is_directory(log.folder));
  EXPECT_EQ(CartellaLog(w).folder, log.folder);  // an existing folder is fine

  w.state.errors_folder = errors + "/missing";
  try {
    CartellaLog(w);
    ADD_FAILURE() << "a folder below a missing errors folder was made";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(errors + "/missing/Log_15_07_2024/"), std::string::npos)
        << e.what();
  }
}

TEST(ScriviRisultatoTest, HeaderThenOneLinePerMessage) {
  WindowFixture f;
  ImportRun& w = f.Show();
  w.state.errors_folder = f.dir().path().string();
  w.state.gym_database = "GYM_3.Palestra";
  const struct {
    bool ok;
    std::string label;
    std::string text;
  } messages[] = {
      {false, "Ricevuta 12", "Cliente non trovato"},  // a rejection
      {false, "Ricevuta 13", ""},                     // nothing to say: OK
      {false, "", "Iva default non impostata"},       // no label: no result
      {true, "Documenti importati", "5"},             // closing lines
  };
  for (const auto& m : messages) {
    w.state.results_ok = m.ok;
    w.state.result_label = m.label;
    w.state.result_text = m.text;
    ScriviRisultato(w);
    EXPECT_EQ(w.state.result_label, "");
    EXPECT_EQ(w.state.result_text, "");
  }
  EXPECT_TRUE(w.state.results.open);
  const std::string path = f.dir().path().string() +
                           "/Log_15_07_2024/GYM_3.Palestra_1_Risultati_15_07_2024.21.30.05.txt";
  EXPECT_EQ(w.state.results.path, path);
  ChiudiFile(w);
  EXPECT_FALSE(w.state.results.open);

  // A second configuration of the same gym database within the same second keeps the first
  // one's file and writes its own beside it.
  w.state.result_text = "seconda configurazione";
  ScriviRisultato(w);
  ChiudiFile(w);
  EXPECT_EQ(w.state.results.path, path.substr(0, path.size() - 4) + "_2.txt");
  EXPECT_EQ(Lines(w.state.results.path).size(), 6u);

  const std::string rule =
      std::string(10, '_') + " " + std::string(30, '_') + " " + std::string(256, '_');
  EXPECT_EQ(
      Lines(path),
      (std::vector<std::string>{
          "Risultato Generazione Documenti",
          "",
          rule,
          "Risultato  Tabella" + Blanks(23) + " Descrizione Errore" + Blanks(238),
          rule,
          "NO" + Blanks(8) + " Ricevuta 12" + Blanks(19) + " Cliente non trovato" + Blanks(237),
          "OK" + Blanks(8) + " Ricevuta 13" + Blanks(19) + " " + Blanks(256),
          Blanks(10) + " " + Blanks(30) + " Iva default non impostata" + Blanks(231),
          "OK" + Blanks(8) + " Documenti importati" + Blanks(11) + " 5" + Blanks(255),
      }));
}

TEST(ScriviAnomaliaTest, FirstAnomalyCreatesFolderAndFileLaterOnesAppend) {
  WindowFixture f;
  ImportRun& w = f.Show();
  w.state.errors_folder = f.dir().path().string();
  w.error = {0, "Errore generico", "ZODADOVEZ_FileS2_MOVMA --> "};
  w.state.progress_counter = 0;  // no receipt in hand
  ScriviAnomalia(w);
  w.error = {13, "Tipo non corrispondente", "TrovaIva"};
  w.state.progress_counter = 42;
  ScriviAnomalia(w);

  const std::string path =
      f.dir().path().string() + "/Log_15_07_2024/1_Errori_15_07_2024.21.30.05.txt";
  EXPECT_EQ(w.state.anomalies.path, path);
  EXPECT_TRUE(w.state.anomalies.open);
  ChiudiFile(w);
  EXPECT_FALSE(w.state.anomalies.open);
  EXPECT_EQ(w.state.anomalies.path, path);

  const std::string rule = std::string(10, '_') + " " + std::string(50, '_') + " " +
                           std::string(20, '_') + " " + std::string(256, '_');
  EXPECT_EQ(Lines(path), (std::vector<std::string>{
                             "Elenco Anomalie Riscontrate",
                             "",
                             rule,
                             Blanks(6) + "Riga Operazione" + Blanks(40) + " Errore" + Blanks(14) +
                                 " Descrizione Errore" + Blanks(238),
                             rule,
                             Blanks(10) + " ZODADOVEZ_FileS2_MOVMA --> " + Blanks(23) + " " +
                                 Blanks(20) + " Errore generico" + Blanks(241),
                             Blanks(8) + "42 TrovaIva" + Blanks(42) + " 13" + Blanks(18) +
                                 " Tipo non corrispondente" + Blanks(233),
                         }));
}

}  // namespace
}  // namespace zodadovez
