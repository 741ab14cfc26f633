// The window behind the page: one import at a time, message boxes that hold the run until the
// page answers, closing with a box open, and the server's refusals.
#include "window/window_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "module/common/errors.h"
#include "tests/support/window_fixture.h"
#include "window/window_session.h"
#include "window/window_state.h"

namespace zodadovez::window {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using zodadovez::testing::WindowFixture;

// Follows the session until `done` holds for its state. Gives up after a minute, which only a
// window that hangs needs.
json WaitFor(WindowSession& s, const std::function<bool(const json&)>& done) {
  EventCursor cursor;
  auto give_up = std::chrono::steady_clock::now() + 60s;
  for (;;) {
    json state = s.State();
    if (done(state)) return state;
    if (std::chrono::steady_clock::now() > give_up) {
      ADD_FAILURE() << "the window never got there; it shows " << state.dump();
      return state;
    }
    s.NextEvent(cursor, 200ms, 0ms);
  }
}

// True once the window has shown `control` enabled.
bool Enabled(const json& state, const char* control) {
  const json& w = state["window"];
  return w.contains(control) && w[control]["enabled"] == true;
}

json WaitForDialog(WindowSession& s) {
  return WaitFor(s, [](const json& st) { return !st["dialog"].is_null(); })["dialog"];
}

// Answers every box with its first button until the import has ended.
json RunToEnd(WindowSession& s) {
  return WaitFor(s, [&](const json& st) {
    if (!st["dialog"].is_null()) {
      s.Answer(st["dialog"]["id"], st["dialog"]["buttons"][0]["answer"]);
    }
    return !st["importing"].get<bool>();
  });
}

TEST(WindowSessionTest, OneImportAtATimeAndTheRunWaitsForTheAnswer) {
  WindowFixture f;
  f.LoadExample();
  WindowSession s({f.dir().Uri(), 1});
  WaitFor(s, [](const json& st) { return Enabled(st, "CMD_IMPORT"); });

  EXPECT_EQ(s.Import().status, 202);
  json dialog = WaitForDialog(s);
  EXPECT_EQ(dialog["text"], "Confermi importazione Dati ?");
  EXPECT_EQ(dialog["icon"], "question");
  EXPECT_EQ(dialog["buttons"],
            json::parse(R"([{"label":"Sì","answer":6},{"label":"No","answer":7}])"));
  // A second page (or a second click) while the first import waits for its answer.
  EXPECT_EQ(s.Import().status, 409);
  EXPECT_EQ(s.ToggleSelection(0).status, 409);
  EXPECT_TRUE(s.importing());

  EXPECT_EQ(s.Answer(dialog["id"], 5).status, 400);  // Ignore is no button of a Yes/No box
  EXPECT_EQ(s.Answer(dialog["id"], kAnswerYes).status, 200);
  EXPECT_EQ(s.Answer(dialog["id"], kAnswerYes).status, 409);
  json end = RunToEnd(s);

  const json& w = end["window"];
  EXPECT_EQ(w["PBAR"]["text"], ".....IMPORT TERMINATO .....");
  EXPECT_EQ(w["CMD_IMPORT"]["enabled"], false);
  EXPECT_EQ(w["CMD_ESCI"]["enabled"], true);
  // The run's rows show in the history without reopening the window.
  EXPECT_EQ(w["GRID_RESULT"]["rows"].size(), 1u);
  EXPECT_EQ(w["GRID_RESULT"]["rows"][0][8], "Normale");
  EXPECT_NE(w["TXT_VISUALIZZA"]["value"].get<std::string>().find("Risultato Generazione"),
            std::string::npos);
  EXPECT_EQ(s.Import().status, 409);
}

TEST(WindowSessionTest, RangesTakeEditsOnlyInRielaboraAndFocusFollowsTheCheck) {
  WindowFixture f;
  f.LoadExample();
  WindowSession s({f.dir().Uri(), 1});
  json st = WaitFor(s, [](const json& x) { return Enabled(x, "CMD_IMPORT"); });
  EXPECT_EQ(st["window"]["GRID_IMPORT"]["rows"][0][2], "SI");

  EXPECT_EQ(s.EditField("TXT_DATA_FINE", "31/12/2024").status, 409);
  EXPECT_EQ(s.EditField("ZEV90_ID", "1").status, 400);
  EXPECT_EQ(s.ChangeMode(2).status, 400);
  EXPECT_EQ(s.ChangeMode(1).status, 202);
  s.Answer(WaitForDialog(s)["id"], kAnswerYes);
  WaitFor(s, [](const json& x) { return Enabled(x, "TXT_DATA_FINE"); });

  EXPECT_EQ(s.EditField("TXT_DATA_INI", "31/12/2024").status, 202);
  EXPECT_EQ(s.EditField("TXT_DATA_FINE", "01/01/2024").status, 202);
  EXPECT_EQ(s.Import().status, 202);
  json dialog = WaitForDialog(s);
  EXPECT_EQ(dialog["text"], "Intervallo non valido");
  EXPECT_EQ(dialog["icon"], "critical");
  EXPECT_EQ(dialog["buttons"].size(), 1u);
  std::int64_t focus_count = s.State()["focus"]["count"];
  s.Answer(dialog["id"], kAnswerOk);
  st = WaitFor(s, [](const json& x) { return !x["importing"].get<bool>(); });
  EXPECT_EQ(st["focus"]["control"], "TXT_DATA_INI");
  EXPECT_GT(st["focus"]["count"].get<std::int64_t>(), focus_count);
  EXPECT_EQ(st["window"]["CMD_IMPORT"]["enabled"], true);
}

TEST(WindowSessionTest, ClosingWithABoxOpenAnswersItNoAndUnloads) {
  WindowFixture f;
  f.LoadExample();
  WindowSession s({f.dir().Uri(), 1});
  WaitFor(s, [](const json& x) { return Enabled(x, "CMD_NUOVO"); });
  EXPECT_EQ(s.SaveSelections(" ").status, 400);
  EXPECT_EQ(s.SaveSelections(std::string(41, 'N')).status, 400);
  EXPECT_EQ(s.SaveSelections(" SERA ").status, 202);
  json saved = WaitFor(s, [](const json& x) {
    const json& names = x["saved_sets"];
    return std::find(names.begin(), names.end(), "SERA") != names.end();
  })["saved_sets"];

  EXPECT_EQ(s.Nuovo().status, 202);
  WaitForDialog(s);
  s.RequestClose();  // Ctrl-C while CMD_NUOVO asks
  s.WaitUntilClosed();

  Vrn99ParameterStore store(f.db());
  EXPECT_EQ(json(store.Names(1)), saved);
  EXPECT_EQ(s.Nuovo().status, 410);
  EventCursor cursor;
  std::optional<Event> event = s.NextEvent(cursor, 1s, 0ms);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->name, "closed");
}

TEST(WindowServerTest, RequestsOnlyFromThisComputerAndThePagesOwnOrigin) {
  struct Case {
    const char* remote;
    const char* host;
    const char* origin;      // nullptr: no Origin header
    const char* fetch_site;  // nullptr: no Sec-Fetch-Site header
    bool api;
    bool allowed;
  };
  const Case cases[] = {
      {"127.0.0.1", "127.0.0.1:8765", nullptr, nullptr, true, true},
      {"127.0.0.1", "127.0.0.1:8765", "http://127.0.0.1:8765", "same-origin", true, true},
      {"127.0.0.1", "localhost:8765", "http://localhost:8765", nullptr, true, true},
      {"192.168.1.20", "127.0.0.1:8765", nullptr, nullptr, false, false},
      {"127.0.0.1", "127.0.0.1:8765", "http://evil.example", nullptr, true, false},
      {"127.0.0.1", "127.0.0.1:8765", "http://127.0.0.1:9000", nullptr, true, false},
      {"127.0.0.1", "127.0.0.1:8765", "null", nullptr, true, false},
      {"127.0.0.1", "localhost:8765", "http://127.0.0.1:8765", nullptr, true, false},
      // A foreign name made to point at this computer: same origin for the browser.
      {"127.0.0.1", "evil.example:8765", "http://evil.example:8765", nullptr, true, false},
      {"127.0.0.1", "", nullptr, nullptr, false, false},
      // An <img> or <script> of another site (no Origin), or a page on another local port.
      {"127.0.0.1", "127.0.0.1:8765", nullptr, "cross-site", true, false},
      {"127.0.0.1", "localhost:8765", nullptr, "same-site", true, false},
      // The page itself may be opened from a link or a bookmark.
      {"127.0.0.1", "127.0.0.1:8765", nullptr, "cross-site", false, true},
      {"127.0.0.1", "127.0.0.1:8765", nullptr, "none", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.remote) + " " + c.host + " " + (c.origin ? c.origin : "-") + " " +
                 (c.fetch_site ? c.fetch_site : "-") + (c.api ? " api" : ""));
    RequestSource source{c.remote, c.host, std::nullopt, std::nullopt, c.api};
    if (c.origin) source.origin = c.origin;
    if (c.fetch_site) source.fetch_site = c.fetch_site;
    EXPECT_EQ(RequestAllowed(source, 8765), c.allowed);
  }
}

// An event stream opened on its own connection, as a page (or a page of another site) opens
// one: returns the socket once the server has answered, and the status line in `status`.
int OpenStream(int port, std::string* status) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return fd;
  std::string request = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                        "\r\nAccept: text/event-stream\r\n\r\n";
  send(fd, request.data(), request.size(), 0);
  char buffer[256];
  ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
  std::string head(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  *status = head.substr(0, head.find("\r\n"));
  return fd;
}

TEST(WindowServerTest, ServesThePageRefusesStrangersAndStopsOnEsci) {
  WindowFixture f;
  WindowServer server({f.dir().Uri(), 1, 0});
  server.Start();
  httplib::Client client("127.0.0.1", server.port());
  const std::string own = "http://127.0.0.1:" + std::to_string(server.port());

  auto page = client.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("id=\"CMD_IMPORT\""), std::string::npos);

  struct Case {
    const char* what;
    const char* path;  // POST when `type` is set, GET otherwise
    httplib::Headers headers;
    const char* type;
    std::string body;
    int status;
  };
  const std::string big(kMaxBodyBytes + 1, ' ');
  const Case cases[] = {
      {"foreign origin", "/api/state", {{"Origin", "http://evil.example"}}, nullptr, "", 403},
      {"foreign host", "/api/state", {{"Host", "evil.example"}}, nullptr, "", 403},
      {"another site's <img>", "/api/events", {{"Sec-Fetch-Site", "cross-site"}}, nullptr, "", 403},
      {"not an EventSource", "/api/events", {{"Accept", "image/*"}}, nullptr, "", 406},
      {"text", "/api/esci", {{"Origin", own}}, "text/plain", "{}", 415},
      {"not quite JSON", "/api/esci", {}, "application/jsonfoo", "{}", 415},
      {"JSON with parameters",
       "/api/toggle",
       {},
       "application/json; charset=utf-8",
       "{\"row\": \"first\"}",
       400},
      {"too long", "/api/toggle", {}, "application/json", big, 413},
      {"sent in chunks",
       "/api/toggle",
       {{"Transfer-Encoding", "chunked"}},
       "application/json",
       "2\r\n{}\r\n0\r\n\r\n",
       411},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto reply =
        c.type ? client.Post(c.path, c.headers, c.body, c.type) : client.Get(c.path, c.headers);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, c.status) << reply->body;
  }

  // However many streams are asked for, the page's requests are answered.
  std::vector<int> streams;
  std::string status;
  for (int i = 0; i < kMaxEventStreams; ++i) {
    streams.push_back(OpenStream(server.port(), &status));
    EXPECT_EQ(status, "HTTP/1.1 200 OK");
  }
  streams.push_back(OpenStream(server.port(), &status));
  EXPECT_EQ(status, "HTTP/1.1 503 Service Unavailable");
  auto state = client.Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_EQ(state->status, 200);
  for (int fd : streams) close(fd);

  // A second window on the same port is refused, and says which port.
  WindowServer second({f.dir().Uri(), 1, server.port()});
  try {
    second.Start();
    ADD_FAILURE() << "a second server listens on the port of the first";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(std::to_string(server.port())), std::string::npos);
  }

  // The buttons are enabled once the window has opened, on its own thread.
  auto give_up = std::chrono::steady_clock::now() + 60s;
  for (;;) {
    state = client.Get("/api/state");
    ASSERT_TRUE(state);
    if (Enabled(json::parse(state->body), "CMD_ESCI")) break;
    ASSERT_LT(std::chrono::steady_clock::now(), give_up) << state->body;
    std::this_thread::sleep_for(20ms);
  }
  auto esci = client.Post("/api/esci", {{"Origin", own}}, "{}", "application/json");
  ASSERT_TRUE(esci);
  ASSERT_EQ(esci->status, 202);
  server.Wait();  // returns once the window has unloaded
  EXPECT_FALSE(client.Get("/api/state"));
}

TEST(DialogTest, ButtonsIconAndDefaultAnswerFollowTheStyle) {
  auto labels = [](int style) {
    std::string text;
    for (const DialogButton& b : DialogButtons(style)) text += std::string(b.label) + "/";
    return text;
  };
  EXPECT_EQ(labels(kMsgQuestionYesNo), "Sì/No/");
  EXPECT_EQ(labels(kMsgQuestionYesNo + kMsgExclamation - kMsgQuestion), "Sì/No/");
  EXPECT_EQ(labels(kMsgCritical), "OK/");
  EXPECT_EQ(labels(kMsgQuestion), "OK/");
  EXPECT_EQ(labels(kMsgInformation + 1), "OK/Annulla/");
  EXPECT_EQ(std::string(DialogIcon(kMsgQuestionYesNo + kMsgExclamation - kMsgQuestion)),
            "exclamation");
  EXPECT_EQ(std::string(DialogIcon(kMsgInformation)), "information");
  EXPECT_EQ(std::string(DialogIcon(0)), "");
  EXPECT_EQ(DefaultAnswer(kMsgQuestionYesNo), kAnswerNo);
  EXPECT_EQ(DefaultAnswer(3), 2);  // Yes/No/Cancel: Cancel
  EXPECT_EQ(DefaultAnswer(kMsgCritical), kAnswerOk);
}

}  // namespace
}  // namespace zodadovez::window
