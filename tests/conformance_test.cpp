// The conformance cases: raw data files with everything a host must see
// when it converts them (detection, result, counts, texts, every message
// and progress call, and the four output files byte for byte).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "morvelin/morvelin.h"
#include "support/harness.h"

namespace fs = std::filesystem;
using morvelin::test::Bytes;
using nlohmann::json;

namespace {

// The cases' folder: MORVELIN_CONFORMANCE_DIR from the environment when it
// is set, else the folder named at build time.
fs::path CasesDir() {
  const char* chosen = std::getenv("MORVELIN_CONFORMANCE_DIR");
  return chosen != nullptr && *chosen != '\0' ? fs::path(chosen) : fs::path(MORVELIN_CONFORMANCE_DIR);
}

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(CasesDir(), error))
    if (entry.is_directory() && fs::exists(entry.path() / "case.json")) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Call {
  double time;
  std::string text;
};

struct Recorder {
  std::vector<Call> messages;
  std::vector<std::pair<int32_t, int32_t>> progress;
  std::vector<int> abort_on_message;
  std::vector<int> abort_on_progress;
};
Recorder* g_recorder = nullptr;

void MORVELIN_CALL RecordMessage(double time, const char* text) {
  g_recorder->messages.push_back({time, text});
  int call = static_cast<int>(g_recorder->messages.size());
  for (int n : g_recorder->abort_on_message)
    if (n == call) Abort();
}

void MORVELIN_CALL RecordProgress(int32_t position, int32_t length) {
  g_recorder->progress.emplace_back(position, length);
  int call = static_cast<int>(g_recorder->progress.size());
  for (int n : g_recorder->abort_on_progress)
    if (n == call) Abort();
}

// Text files are compared as they stand on disk: CR LF on Windows.
std::string ExpectedText(const fs::path& file) {
  return morvelin::test::LineEnds(morvelin::test::ReadText(file.string()));
}

class ConformanceTest : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { original_directory_ = fs::current_path(); }
  void TearDown() override { fs::current_path(original_directory_); }

 private:
  fs::path original_directory_;
};

// The one deliberate difference from the cases: a latitude or longitude
// between 0 and -1 degree keeps its sign in the summary ("  -0 30  0.00"
// where the cases, worked out from the old description, show "   0 30
// 0.00" and lose the hemisphere). Only that field of those two lines may
// differ, and only that way.
std::string WithHemisphereKept(std::string expected, const std::string& actual) {
  for (const char* label : {"\nLAT:    ", "\nLONG:   "}) {
    const std::size_t in_expected = expected.find(label);
    const std::size_t in_actual = actual.find(label);
    if (in_expected == std::string::npos || in_actual == std::string::npos) continue;
    const std::size_t field = std::string(label).size();
    if (expected.compare(in_expected + field, 4, "   0") == 0 && actual.compare(in_actual + field, 4, "  -0") == 0)
      expected[in_expected + field + 2] = '-';
  }
  return expected;
}

TEST_P(ConformanceTest, HostSeesExactlyTheExpectedOutcome) {
  const fs::path case_dir = CasesDir() / GetParam();
  const json test_case = json::parse(morvelin::test::ReadText((case_dir / "case.json").string()));
  const json& expect = test_case["expect"];
  const std::string path = test_case["path"];

  morvelin::test::TempDir dir;
  fs::copy_file(case_dir / "input.dat", fs::path(dir.Path()) / path);
  fs::current_path(dir.Path());

  // A refused call first, so that the message text is known.
  MorvelinRequest refused;
  std::memset(&refused, 0, sizeof refused);
  MorvelinCallbacks no_callbacks;
  std::memset(&no_callbacks, 0, sizeof no_callbacks);
  no_callbacks.size = MORVELIN_CALLBACKS_SIZE;
  ASSERT_EQ(ConvertFile(&refused, &no_callbacks, 0), 1);

  EXPECT_EQ(AutoDetect(path.c_str()), expect["autodetect"].get<int>());
  char text[MORVELIN_MESSAGE_SIZE];
  GetErrString(text);
  EXPECT_STREQ(text, "Incorrect version of Sample Conversion DLL") << "AutoDetect changed the message text";

  if (test_case["abort_before_call"].get<bool>()) Abort();

  MorvelinRequest request;
  std::memset(&request, 0, sizeof request);
  request.size = test_case["sizes"]["request"].get<uint32_t>();
  request.options_size = test_case["sizes"]["options"].get<uint32_t>();
  request.options.kinematic = test_case["options"][0].get<uint32_t>();
  request.options.station_text_option = test_case["options"][1].get<uint32_t>();
  ASSERT_LT(path.size(), sizeof request.path);
  std::memcpy(request.path, path.c_str(), path.size() + 1);
  constexpr int32_t kUntouched = 0x5A5A5A5A;
  request.epoch_count = request.ephemeris_count = request.station_line_count = request.event_count = kUntouched;

  MorvelinCallbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.size = test_case["sizes"]["callbacks"].get<uint32_t>();
  callbacks.message = test_case["message_callback"].get<bool>() ? RecordMessage : nullptr;
  callbacks.progress = test_case["progress_callback"].get<bool>() ? RecordProgress : nullptr;

  Recorder recorder;
  for (const json& entry : test_case["abort_during"]) {
    (entry["callback"] == "message" ? recorder.abort_on_message : recorder.abort_on_progress)
        .push_back(entry["call"].get<int>());
  }
  g_recorder = &recorder;
  const int32_t result = ConvertFile(&request, &callbacks, 0);
  g_recorder = nullptr;

  EXPECT_EQ(result, expect["result"].get<int>());
  if (expect["counts"].is_null()) {
    EXPECT_EQ(request.epoch_count, kUntouched);
    EXPECT_EQ(request.event_count, kUntouched);
  } else {
    EXPECT_EQ(request.epoch_count, expect["counts"][0].get<int>()) << "written epochs";
    EXPECT_EQ(request.ephemeris_count, expect["counts"][1].get<int>()) << "ephemerides";
    EXPECT_EQ(request.station_line_count, expect["counts"][2].get<int>()) << "station lines";
    EXPECT_EQ(request.event_count, expect["counts"][3].get<int>()) << "events";
  }
  GetErrString(text);
  EXPECT_EQ(std::string(text), expect["error_text"].get<std::string>());
  EXPECT_EQ(std::string(request.path), expect["path_after"].get<std::string>());

  const json& messages = expect["messages"];
  EXPECT_EQ(recorder.messages.size(), messages.size()) << "message count";
  for (std::size_t i = 0; i < std::min(recorder.messages.size(), messages.size()); ++i) {
    EXPECT_EQ(recorder.messages[i].time, messages[i][0].get<double>()) << "message " << i + 1 << " time";
    EXPECT_EQ(recorder.messages[i].text, messages[i][1].get<std::string>()) << "message " << i + 1;
  }
  const json& progress = expect["progress"];
  EXPECT_EQ(recorder.progress.size(), progress.size()) << "progress call count";
  for (std::size_t i = 0; i < std::min(recorder.progress.size(), progress.size()); ++i) {
    EXPECT_EQ(recorder.progress[i].first, progress[i][0].get<int32_t>()) << "progress " << i + 1 << " position";
    EXPECT_EQ(recorder.progress[i].second, progress[i][1].get<int32_t>()) << "progress " << i + 1 << " length";
  }

  const std::string produced_base = morvelin::test::WithExtension(path.substr(path.find_first_not_of(' ')), "");
  for (const auto& [extension, expectation] : expect["files"].items()) {
    const fs::path produced = fs::path(dir.Path()) / (produced_base + extension);
    const std::string what = expectation.get<std::string>();
    if (what == "not created") {
      EXPECT_FALSE(fs::exists(produced)) << produced;
    } else if (what == "created, content not fixed") {
      EXPECT_TRUE(fs::exists(produced)) << produced;
    } else {
      ASSERT_TRUE(fs::exists(produced)) << produced;
      if (extension == ".gpb") {
        Bytes expected = morvelin::test::WithoutGpbStamp(morvelin::test::ReadBytes((case_dir / what).string()));
        Bytes actual = morvelin::test::WithoutGpbStamp(morvelin::test::ReadBytes(produced.string()));
        EXPECT_EQ(actual.size(), expected.size()) << ".gpb size";
        EXPECT_TRUE(actual == expected) << ".gpb bytes differ";
      } else {
        const std::string actual = morvelin::test::ReadText(produced.string());
        std::string expected = ExpectedText(case_dir / what);
        if (extension == ".sum") expected = WithHemisphereKept(expected, actual);
        EXPECT_EQ(actual, expected) << extension;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ConformanceTest, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// Without the cases (a fresh clone has no such folder) the suite says so and
// is skipped; a folder that is there must hold cases.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ConformanceTest);

TEST(Conformance, CasesArePresent) {
  if (!fs::is_directory(CasesDir())) {
    GTEST_SKIP() << "no conformance cases at " << CasesDir().string()
                 << "; set MORVELIN_CONFORMANCE_DIR to the folder that holds them";
  }
  EXPECT_GE(CaseNames().size(), 1u) << CasesDir().string();
}

}  // namespace
