// The import window's handlers, as the page drives them: the mode list and its question, the
// input check, the CMD_IMPORT confirmation, CMD_NUOVO, the selection column and saved sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "module/common/mdlzev_zodadovez.h"
#include "module/shell/frmzev_zodadovez.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

const char* const kRielaboraQuestion =
    "Attenzione prima di eseguire questa operazione\r\nsi deve eseguire l'annullamento dei "
    "documenti per il periodo\r\nche si desidera rimportare\r\nConferma operazione ?";
const char* const kNuovoQuestion =
    "Attenzione tutte le selezioni di default saranno azzerate.\r\nConfermi azzeramento "
    "selezioni ?";

std::vector<std::string> Texts(const ScriptedMessages& messages) {
  std::vector<std::string> texts;
  for (const ScriptedMessages::Shown& m : messages.shown()) texts.push_back(m.text);
  return texts;
}

std::int64_t Count(WindowFixture& f, const std::string& select) {
  return f.db().open(select).at(0).ToInteger();
}

std::vector<std::int64_t> Imported(const FRMZEV_ZODADOVEZ& w) {
  std::vector<std::int64_t> ids;
  for (const ConfigurationOutcome& o : w.run().outcomes) ids.push_back(o.configuration_id);
  return ids;
}

// The window in mode "Rielabora", its question answered Yes, with the example data's
// configurations listed.
FRMZEV_ZODADOVEZ& ShowRielabora(WindowFixture& f) {
  f.LoadExample();
  FRMZEV_ZODADOVEZ& w = f.ShowWindow();
  w.controls.cbo_elabora = 1;
  w.CBO_ELABORA_Change();
  return w;
}

TEST(CboElaboraTest, RielaboraAnsweredNoFallsBackToNormale) {
  WindowFixture f;
  f.messages = ScriptedMessages({kAnswerNo});
  FRMZEV_ZODADOVEZ& w = f.ShowWindow();
  w.controls.cbo_elabora = 1;
  w.CBO_ELABORA_Change();

  ASSERT_EQ(f.messages.shown().size(), 1u);
  EXPECT_EQ(f.messages.shown()[0].text, kRielaboraQuestion);
  EXPECT_EQ(f.messages.shown()[0].style, kMsgQuestionYesNo);
  EXPECT_EQ(f.messages.shown()[0].title, w.controls.caption);
  EXPECT_EQ(w.controls.cbo_elabora, 0);
  // Back in "Normale", the check passes whatever the range fields hold.
  w.controls.txt_data_ini = "not a date";
  EXPECT_TRUE(w.ControllaInput());
  EXPECT_EQ(f.messages.shown().size(), 1u);
}

TEST(CboElaboraTest, RielaboraAnsweredYesEnablesTheRangesNormaleDisablesThemUnasked) {
  WindowFixture f;
  FRMZEV_ZODADOVEZ& w = f.ShowWindow();
  EXPECT_FALSE(w.controls.ranges_enabled);
  w.controls.cbo_elabora = 1;
  w.CBO_ELABORA_Change();
  EXPECT_EQ(w.controls.cbo_elabora, 1);
  EXPECT_TRUE(w.controls.ranges_enabled);
  EXPECT_EQ(w.controls.focus, "TXT_DATA_INI");

  w.controls.cbo_elabora = 0;
  w.CBO_ELABORA_Change();
  EXPECT_FALSE(w.controls.ranges_enabled);
  EXPECT_EQ(Texts(f.messages), std::vector<std::string>{kRielaboraQuestion});
}

TEST(ControllaInputTest, ChecksInOrderStopsAtTheFirstFailureAndMovesTheFocus) {
  struct Case {
    const char* from;
    const char* to;
    const char* first;
    const char* last;
    const char* message;  // nullptr: the check passes
    const char* focus;
  };
  const Case cases[] = {
      {"", "31/12/2024", "", "", "Impostare Data Inizio Elaborazione", "TXT_DATA_INI"},
      {"31/02/2024", "31/12/2024", "", "", "Impostare Data Inizio Elaborazione", "TXT_DATA_INI"},
      {"01/01/2024", "", "", "", "Impostare Data Fine Elaborazione", "TXT_DATA_FINE"},
      // Both dates wrong: only the first failure is told.
      {"", "", "9", "1", "Impostare Data Inizio Elaborazione", "TXT_DATA_INI"},
      {"02/01/2024", "01/01/2024", "", "", "Intervallo non valido", "TXT_DATA_INI"},
      {"01/01/2024", "31/01/2024", "10", "5", "Intervallo documenti non valido", "TXT_DADOC"},
      {"01/01/2024", "01/01/2024", "", "", nullptr, ""},
      {"01/01/2024", "31/01/2024", "10", "", nullptr, ""},
      {"01/01/2024", "31/01/2024", "", "5", nullptr, ""},
      // Receipt numbers compare as numbers: 9 comes before 10.
      {"01/01/2024", "31/01/2024", "9", "10", nullptr, ""},
      {"01/01/2024", "31/01/2024", "7", "7", nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " - " + c.to + ", " + c.first + " - " + c.last);
    WindowFixture f;
    FRMZEV_ZODADOVEZ& w = f.ShowWindow();
    w.controls.cbo_elabora = 1;
    w.CBO_ELABORA_Change();
    w.controls.focus.clear();
    w.controls.txt_data_ini = c.from;
    w.controls.txt_data_fine = c.to;
    w.controls.txt_dadoc = c.first;
    w.controls.txt_adoc = c.last;
    std::size_t before = f.messages.shown().size();

    EXPECT_EQ(w.ControllaInput(), c.message == nullptr);
    if (c.message == nullptr) {
      EXPECT_EQ(f.messages.shown().size(), before);
    } else {
      ASSERT_EQ(f.messages.shown().size(), before + 1);
      EXPECT_EQ(f.messages.shown().back().text, c.message);
      EXPECT_EQ(f.messages.shown().back().style, kMsgCritical);
    }
    EXPECT_EQ(w.controls.focus, c.focus);
  }
}

TEST(CmdImportTest, AnsweredNoImportsNothingAndLeavesTheWindowAsItWas) {
  WindowFixture f;
  f.messages = ScriptedMessages({kAnswerYes, kAnswerNo});
  FRMZEV_ZODADOVEZ& w = ShowRielabora(f);
  w.controls.txt_data_ini = "01/01/2024";
  w.controls.txt_data_fine = "31/12/2024";
  w.CMD_IMPORT_Click();

  EXPECT_EQ(Texts(f.messages),
            (std::vector<std::string>{kRielaboraQuestion, "Confermi importazione Dati ?"}));
  EXPECT_EQ(f.messages.shown().back().style, kMsgQuestionYesNo);
  EXPECT_TRUE(w.run().outcomes.empty());
  EXPECT_EQ(Count(f, "SELECT COUNT(*) FROM ZEV99_RESULT"), 0);
  EXPECT_TRUE(w.controls.cmd_import_enabled);
  EXPECT_TRUE(w.controls.cmd_nuovo_enabled);
  EXPECT_TRUE(w.controls.cbo_elabora_enabled);
  EXPECT_TRUE(w.controls.ranges_enabled);
}

TEST(CmdImportTest, FailedCheckAsksNothingConfirmedRunHappensOnce) {
  WindowFixture f;
  FRMZEV_ZODADOVEZ& w = ShowRielabora(f);
  w.controls.txt_data_ini = "31/12/2024";
  w.controls.txt_data_fine = "01/01/2024";
  w.CMD_IMPORT_Click();
  EXPECT_EQ(Texts(f.messages),
            (std::vector<std::string>{kRielaboraQuestion, "Intervallo non valido"}));
  EXPECT_TRUE(w.controls.cmd_import_enabled);

  w.controls.txt_data_ini = "01/01/2024";
  w.controls.txt_data_fine = "31/12/2024";
  w.CMD_IMPORT_Click();
  EXPECT_EQ(f.messages.shown()[2].text, "Confermi importazione Dati ?");
  EXPECT_EQ(Imported(w), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(w.controls.pbar_text, ".....IMPORT TERMINATO .....");
  // Only CMD_ESCI comes back: a window runs once.
  EXPECT_FALSE(w.controls.cmd_import_enabled);
  EXPECT_FALSE(w.controls.cmd_nuovo_enabled);
  EXPECT_FALSE(w.controls.cbo_elabora_enabled);
  EXPECT_FALSE(w.controls.ranges_enabled);
  EXPECT_TRUE(w.controls.cmd_esci_enabled);
  EXPECT_TRUE(w.controls.page_visible[1]);
  EXPECT_EQ(w.controls.page_selected, 1);
  EXPECT_NE(w.controls.txt_visualizza.find("Risultato Generazione Documenti"), std::string::npos);

  std::size_t shown = f.messages.shown().size();
  w.controls.cmd_import_enabled = true;  // even a page that sends the click again
  w.CMD_IMPORT_Click();
  EXPECT_EQ(f.messages.shown().size(), shown);
  EXPECT_EQ(w.run().outcomes.size(), 2u);
}

TEST(CmdNuovoTest, NoDeletesNothingYesDeletesTheCompanysSetsOnly) {
  WindowFixture f;
  f.messages = ScriptedMessages({kAnswerYes, kAnswerNo, kAnswerYes});
  FRMZEV_ZODADOVEZ& w = ShowRielabora(f);
  ParameterSet set;
  set.configurations = {1};
  w.run().parameters()->Save(1, "NOTTE", set);
  w.run().parameters()->Save(1, "SETTIMANA", set);
  w.run().parameters()->Save(2, "NOTTE", set);

  w.CMD_NUOVO_Click();
  EXPECT_EQ(f.messages.shown().back().text, kNuovoQuestion);
  EXPECT_EQ(f.messages.shown().back().style, kMsgQuestionYesNo + kMsgExclamation - kMsgQuestion);
  EXPECT_EQ(w.run().parameters()->Names(1), (std::vector<std::string>{"NOTTE", "SETTIMANA"}));
  EXPECT_EQ(w.controls.cbo_elabora, 1);
  EXPECT_FALSE(w.controls.checks_enabled);

  w.CMD_NUOVO_Click();
  EXPECT_TRUE(w.run().parameters()->Names(1).empty());
  EXPECT_EQ(w.run().parameters()->Names(2), std::vector<std::string>{"NOTTE"});
  EXPECT_EQ(w.controls.cbo_elabora, 0);
  EXPECT_TRUE(w.controls.checks_enabled);
  EXPECT_FALSE(w.run().anomaly);
}

TEST(GridImportTest, ClickingTheSelectionTwiceLeavesItSelectedAndTheRunTakesIt) {
  WindowFixture f;
  f.LoadExample();
  FRMZEV_ZODADOVEZ& w = f.ShowWindow();
  w.GRID_IMPORT_ToggleSelection(0);
  EXPECT_EQ(NzDec(w.controls.grid_import["SELEZIONE"]).ToInteger(), 0);
  w.GRID_IMPORT_ToggleSelection(0);
  w.GRID_IMPORT_ToggleSelection(1);
  w.GRID_IMPORT_ToggleSelection(7);  // no such row: nothing happens
  EXPECT_EQ(w.Selezioni().configurations, std::vector<std::int64_t>{1});

  w.CMD_IMPORT_Click();
  EXPECT_EQ(Imported(w), std::vector<std::int64_t>{1});
}

TEST(SavedSetTest, AppliedUnattendedRunsItsSelectionsAndNothingElse) {
  WindowFixture f;
  f.LoadExample();
  FRMZEV_ZODADOVEZ& shown = f.ShowWindow();
  shown.GRID_IMPORT_ToggleSelection(1);
  shown.controls.cbo_elabora = 1;
  shown.CBO_ELABORA_Change();
  shown.controls.txt_data_ini = "01/01/2024";
  shown.controls.txt_data_fine = "30/06/2024";
  shown.run().parameters()->Save(1, "NOTTE", shown.Selezioni());

  FRMZEV_ZODADOVEZ& w = f.ShowWindow(/*unattended=*/true, "  NOTTE ");
  EXPECT_TRUE(w.unloaded());
  EXPECT_EQ(Imported(w), std::vector<std::int64_t>{1});
  EXPECT_EQ(w.controls.cbo_elabora, 1);
  EXPECT_EQ(w.controls.txt_data_ini, "01/01/2024");
  EXPECT_EQ(w.controls.txt_data_fine, "30/06/2024");
  EXPECT_EQ(Count(f, "SELECT COUNT(*) FROM ZEV99_RESULT WHERE ZEV99_TIPOELABORA = 1"), 1);
  EXPECT_EQ(Count(f, "SELECT COUNT(*) FROM ZEV99_RESULT"), 1);
  const std::vector<std::string>& log = f.host().log_lines();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Applicazione codice schedulazione - Codice di simulazione :\"NOTTE\""),
            log.end());
  // Nothing is asked of anyone.
  EXPECT_EQ(Texts(f.messages), std::vector<std::string>{kRielaboraQuestion});
}

TEST(SavedSetTest, UnknownOrEmptyScheduleImportsNothing) {
  for (const char* code : {"SERA", ""}) {
    SCOPED_TRACE(code);
    WindowFixture f;
    f.LoadExample();
    FRMZEV_ZODADOVEZ& w = f.ShowWindow(/*unattended=*/true, code);
    EXPECT_TRUE(w.unloaded());
    EXPECT_TRUE(w.run().outcomes.empty());
    const std::vector<std::string>& log = f.host().log_lines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(),
              "Applicazione codice schedulazione non avvenuta correttamente\r\nCodice di "
              "simulazione :\"" +
                  std::string(code) + "\"");
    EXPECT_EQ(Count(f, "SELECT COUNT(*) FROM ZEV99_RESULT"), 0);
  }
}

}  // namespace
}  // namespace zodadovez
