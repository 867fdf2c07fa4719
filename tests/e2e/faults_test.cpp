// Both programs against a speech service that misbehaves the ways servers and networks do.
// Whatever arrives, the program stays alive and ends the request within its time-out; a
// reply that carries audio puts exactly that audio into the desktop file, and one that does
// not leaves the earlier file as it was and tells the user, with the status it got.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/synthesis.h"
#include "client/window_templates.h"
#include "common/bytes.h"
#include "e2e/program_driver.h"
#include "rt/file.h"
#include "rt/wide.h"
#include "service/service_control.h"
#include "web/code_pages.h"

namespace {

using service_control::Control;
using test_common::ReadAll;

const std::string kPrevious = "audio of an earlier synthesis";
const std::string kStatusLabel = "状态：";
// The time-out that the programs' requests use.
constexpr DWORD kTimeoutMs = 30000;
// Between the clicks of two programs that run at once and both write the file.
constexpr DWORD kStaggerMs = 3000;

enum class Expect {
  kAudio,    // the file ends up holding the served audio, no message
  kNoAudio,  // a failure box naming a status, the earlier file kept
  kEither,   // which of the two is WinHttp's choice; whichever it is must be whole
};

enum class Endpoint { kService, kRefused, kUntrusted };

struct FaultCase {
  const char* name;
  const char* config;  // settings of the speech service
  Endpoint endpoint;
  Expect expect;
  const char* status;  // the box's status starts with this; "" any three-digit code
  bool together;       // both programs at once, so that a slow fault costs its time once
  DWORD limitMs;       // the longest a request may take
};

struct Program {
  const char* label;
  const wchar_t* stem;
  rt::WindowTemplate layout;
};

std::wstring ExeName(const Program& program, Endpoint endpoint) {
  const wchar_t* suffix = endpoint == Endpoint::kService   ? L"-local.exe"
                          : endpoint == Endpoint::kRefused ? L"-refused.exe"
                                                           : L"-untrusted.exe";
  return std::wstring(program.stem) + suffix;
}

std::string Utf8(const std::string& gbk) { return web::GbkToUtf8(rt::Text(gbk)).str(); }

// The status part of a failure message, up to its line end.
std::string StatusOf(const std::string& message) {
  const std::size_t at = message.find(kStatusLabel);
  if (at == std::string::npos) return std::string();
  const std::size_t from = at + kStatusLabel.size();
  return message.substr(from, message.find('\r', from) - from);
}

bool StartsWithCode(const std::string& status) {
  return status.size() >= 3 && std::isdigit(static_cast<unsigned char>(status[0])) &&
         std::isdigit(static_cast<unsigned char>(status[1])) &&
         std::isdigit(static_cast<unsigned char>(status[2]));
}

// One line about what the service received: how many requests, and the last one.
std::string ServiceSaw() {
  const std::string records = Control("/__requests").str();
  auto values = [&records](const std::string& key) {
    std::vector<std::string> found;
    const std::string marker = "\"" + key + "\": \"";
    for (std::size_t at = records.find(marker); at != std::string::npos;
         at = records.find(marker, at)) {
      at += marker.size();
      found.push_back(records.substr(at, records.find('"', at) - at));
    }
    return found;
  };
  const std::vector<std::string> methods = values("method");
  const std::vector<std::string> paths = values("path");
  std::string line = std::to_string(methods.size()) + " request(s)";
  if (!methods.empty() && paths.size() == methods.size()) {
    line += ", last " + methods.back() + " " + paths.back();
  }
  auto lastHeader = [&records](const std::string& name) {
    const std::string marker = "[\"" + name + "\", \"";
    const std::size_t at = records.rfind(marker);
    if (at == std::string::npos) return std::string("none");
    const std::size_t from = at + marker.size();
    return records.substr(from, records.find('"', from) - from);
  };
  const std::vector<std::string> bodies = values("raw_body");
  if (!methods.empty()) {
    line += " to " + lastHeader("Host") + ", Content-Length " + lastHeader("Content-Length") +
            ", " + std::to_string(bodies.empty() ? 0 : bodies.back().size()) + " body bytes";
  }
  return line;
}

class FaultyServicesTest : public ::testing::Test {
protected:
  struct Outcome {
    bool fileChanged = false;
    bool alive = true;
    std::string message;  // of the failure box, GBK
    double seconds = 0;
  };

  void SetUp() override {
    path_ = client::SpeechFilePath();
    ASSERT_FALSE(path_.empty());
  }
  void TearDown() override { service_control::Configure("{}"); }

  // A program that played new audio holds the file until it plays another or ends: when the
  // file is held, its holder is closed (the next case starts it anew); every running program
  // when no holder is named.
  void ResetFile(const e2e::ProgramUnderTest* holder = nullptr) {
    if (rt::WriteFile(path_, rt::ByteSet(kPrevious))) return;
    for (auto& [exe, program] : running_) {
      if ((!holder || program.get() == holder) && program->Alive()) {
        EXPECT_EQ(0, program->Close()) << rt::NarrowToGbk(exe.c_str()).str();
      }
    }
    ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(kPrevious)));
  }

  // A running copy of the program for the endpoint; a new one when the last has ended.
  e2e::ProgramUnderTest& Running(const Program& program, Endpoint endpoint) {
    std::unique_ptr<e2e::ProgramUnderTest>& slot = running_[ExeName(program, endpoint)];
    if (!slot || !slot->Alive()) {
      slot = std::make_unique<e2e::ProgramUnderTest>(ExeName(program, endpoint), program.layout);
    }
    return *slot;
  }

  // Waits for the file to change or a box to show, whichever comes first.
  Outcome AwaitOutcome(e2e::ProgramUnderTest& program,
                       std::chrono::steady_clock::time_point clicked, DWORD limitMs) const {
    Outcome outcome;
    e2e::WaitUntil(limitMs + 5000, 20, [&] {
      outcome.message = program.TakeMessageBox(0).str();
      outcome.fileChanged = ReadAll(path_) != kPrevious;
      outcome.alive = program.Alive();
      return !outcome.message.empty() || outcome.fileChanged || !outcome.alive;
    });
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - clicked).count();
    // A box that follows a changed file would be a success reported as a failure.
    if (outcome.message.empty() && outcome.alive)
      outcome.message = program.TakeMessageBox(500).str();
    EXPECT_TRUE(program.WaitForNoMessageBox(5000));
    return outcome;
  }

  // What is wrong with one program's outcome; nothing when it is as it should be.
  std::vector<std::string> Problems(const FaultCase& c, const Outcome& outcome,
                                    const std::string& served, bool& lost) const {
    std::vector<std::string> problems;
    if (!outcome.alive) problems.push_back("the program ended");
    if (outcome.seconds * 1000 >= c.limitMs) problems.push_back("the request took too long");
    const std::string file = ReadAll(path_);
    if (outcome.message.empty() && outcome.fileChanged) {
      lost = served.empty() || file != served;
      if (c.expect == Expect::kNoAudio)
        problems.push_back("a reply without audio changed the file");
      if (lost) {
        problems.push_back("the file (" + std::to_string(file.size()) +
                           " bytes) is not the served audio (" + std::to_string(served.size()) +
                           " bytes)");
      }
      return problems;
    }
    lost = file != kPrevious;
    if (lost) {
      problems.push_back("the earlier file changed without audio (" + std::to_string(file.size()) +
                         " bytes)");
    }
    if (!outcome.alive) return problems;
    if (c.expect == Expect::kAudio)
      problems.push_back("no audio: \"" + Utf8(outcome.message) + "\"");
    const std::string status = StatusOf(outcome.message);
    if (outcome.message.find("语音合成失败") == std::string::npos || !StartsWithCode(status) ||
        status.rfind(c.status, 0) != 0) {
      problems.push_back("the failure box does not name the status " + std::string(c.status) +
                         ": \"" + Utf8(outcome.message) + "\"");
    }
    return problems;
  }

  rt::Text path_;
  std::map<std::wstring, std::unique_ptr<e2e::ProgramUnderTest>> running_;
};

TEST_F(FaultyServicesTest, ProgramsSurviveAndKeepTheirFiles) {
  const FaultCase cases[] = {
      {"refused connection", "{}", Endpoint::kRefused, Expect::kNoAudio, "711", true, 10000},
      {"certificate not trusted", "{}", Endpoint::kUntrusted, Expect::kNoAudio, "711", true, 10000},
      {"no answer within the time-out", R"({"stall_seconds": 40})", Endpoint::kService,
       Expect::kNoAudio, "712", true, kTimeoutMs + 10000},
      {"one byte a second", R"({"fault": "trickle"})", Endpoint::kService, Expect::kAudio, "", true,
       25000},
      {"reset mid-body", R"({"fault": "reset"})", Endpoint::kService, Expect::kNoAudio, "200",
       false, 10000},
      {"length beyond the body, then close", R"({"fault": "long_length"})", Endpoint::kService,
       Expect::kAudio, "", false, 10000},
      {"two conflicting lengths", R"({"fault": "two_lengths"})", Endpoint::kService,
       Expect::kEither, "", false, 10000},
      {"garbage status line", R"({"fault": "garbage_status"})", Endpoint::kService,
       Expect::kNoAudio, "712", false, 10000},
      {"500 with an HTML page", R"({"status": "500 Internal Server Error"})", Endpoint::kService,
       Expect::kNoAudio, "500", false, 10000},
      {"200 without speech", R"({"no_speech": true})", Endpoint::kService, Expect::kNoAudio, "200",
       false, 10000},
      // Decoded, the cut group would gain bytes that never arrived: damaged, like junk.
      {"base64 cut inside a group", R"({"fault": "truncate_base64"})", Endpoint::kService,
       Expect::kNoAudio, "200", false, 10000},
      {"junk inside the base64", R"({"junk_base64": true})", Endpoint::kService, Expect::kNoAudio,
       "200", false, 10000},
      {"escaped line breaks in the base64", R"({"junk_base64": "\\r\\n"})", Endpoint::kService,
       Expect::kAudio, "", false, 10000},
      {"escaped slashes", R"({"escape_slashes": true})", Endpoint::kService, Expect::kAudio, "",
       false, 10000},
      {"compact JSON", R"({"compact": true})", Endpoint::kService, Expect::kAudio, "", false,
       10000},
      {"307 to another path", R"({"redirect": {"code": 307}})", Endpoint::kService, Expect::kAudio,
       "", false, 10000},
      // A 302 turns the POST into a GET, which has no speech to give (under Wine it keeps
      // the POST's Content-Length, sends no body and fails: 712).
      {"302 to another path", R"({"redirect": {"code": 302}})", Endpoint::kService,
       Expect::kNoAudio, "", false, 10000},
      // WinHttp follows ten redirects and then gives up.
      {"chain of 40 redirects", R"({"redirect": {"hops": 40}})", Endpoint::kService,
       Expect::kNoAudio, "712", false, 10000},
      {"redirect loop", R"({"redirect": {"loop": true}})", Endpoint::kService, Expect::kNoAudio,
       "712", false, 10000},
      {"307 to localhost", R"({"redirect": {"host": "localhost"}})", Endpoint::kService,
       Expect::kAudio, "", false, 10000},
      {"gzip body not asked for", R"({"fault": "gzip"})", Endpoint::kService, Expect::kNoAudio,
       "200", false, 10000},
      {"invalid UTF-8 before, NUL after the audio", R"({"fault": "bad_bytes"})", Endpoint::kService,
       Expect::kAudio, "", false, 10000},
      {"NUL before the audio", R"({"fault": "nul_first"})", Endpoint::kService, Expect::kNoAudio,
       "200", false, 10000},
  };
  const Program programs[] = {{"ttsclient", L"ttsclient", client::TtsClientWindow({})},
                              {"builtin", L"ttsclient-builtin", client::BuiltinClientWindow({})}};

  int tried = 0, passed = 0, lostFiles = 0;
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(service_control::Configure(c.config)) << c.config;
    Control("/__requests?clear=1");
    Control("/__last_audio?clear=1");
    ResetFile();

    // Together: every program clicked before any outcome is awaited; one after the other
    // otherwise. Programs that may write the file click apart, so that their writes do not meet.
    const std::size_t count = std::size(programs);
    std::vector<e2e::ProgramUnderTest*> driven;
    std::vector<std::unique_ptr<e2e::ResponsivenessProbe>> probes(count);
    std::vector<std::chrono::steady_clock::time_point> clicked(count);
    for (const Program& p : programs) {
      driven.push_back(&Running(p, c.endpoint));
      ASSERT_TRUE(driven.back()->started()) << p.label;
    }
    auto click = [&](std::size_t i) {
      probes[i] = std::make_unique<e2e::ResponsivenessProbe>(driven[i]->window());
      clicked[i] = std::chrono::steady_clock::now();
      driven[i]->Click(client::kSynthesizeButtonUnit);
    };
    if (c.together) {
      for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && c.expect != Expect::kNoAudio) ::Sleep(kStaggerMs);
        click(i);
      }
    }
    for (std::size_t i = 0; i < count; ++i) {
      SCOPED_TRACE(programs[i].label);
      if (!c.together) {
        Control("/__requests?clear=1");
        click(i);
      }
      const Outcome outcome = AwaitOutcome(*driven[i], clicked[i], c.limitMs);
      const double blocked = probes[i]->Stop();
      const rt::ByteSet served = service_control::ServedAudio();
      bool lost = false;
      const std::vector<std::string> problems = Problems(c, outcome, served.str(), lost);
      for (const std::string& problem : problems) ADD_FAILURE() << problem;
      ++tried;
      if (problems.empty()) ++passed;
      if (lost) ++lostFiles;
      const std::string result =
          !outcome.alive ? "ended"
          : outcome.message.empty()
              ? (outcome.fileChanged ? "audio, " + std::to_string(ReadAll(path_).size()) + " bytes"
                                     : "nothing")
              : "box, status \"" + Utf8(StatusOf(outcome.message)) + "\"";
      std::printf("[ fault ] %-42s %-9s %5.1f s, window blocked at most %4.1f s: %s; service: %s\n",
                  c.name, programs[i].label, outcome.seconds, blocked, result.c_str(),
                  ServiceSaw().c_str());
      ResetFile(driven[i]);
    }
  }
  std::printf("[ group ] faulty services: %d tried, %d passed, %d lost files\n", tried, passed,
              lostFiles);
  for (auto& [exe, program] : running_) {
    if (program->Alive()) {
      EXPECT_EQ(0, program->Close()) << rt::NarrowToGbk(exe.c_str()).str();
    }
  }
}

}  // namespace
