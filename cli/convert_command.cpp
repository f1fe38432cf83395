// morvelin convert: runs the conversion through the same five functions a
// host calls, and shows what a host would see.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define MORVELIN_ISATTY _isatty
#define MORVELIN_FILENO _fileno
#else
#include <unistd.h>
#define MORVELIN_ISATTY isatty
#define MORVELIN_FILENO fileno
#endif

#include "commands.h"
#include "morvelin/morvelin.h"
#include "base/text_builder.h"

namespace morvelin::cli {

namespace {

bool g_draw_progress = false;
bool g_progress_drawn = false;
int g_drawn_filled = -1;  // the bar is redrawn only when it changes

void ClearProgress() {
  if (g_progress_drawn) std::fputs("\r\033[K", stderr);
  g_progress_drawn = false;
  g_drawn_filled = -1;
}

void MORVELIN_CALL PrintMessage(double time, const char* text) {
  ClearProgress();
  FixedText<64> stamp;
  if (time == -1.0)
    stamp.Str("         -");
  else
    stamp.Fixed(time, 2, 10);
  std::printf("%s  %s\n", stamp.CStr(), text);
  std::fflush(stdout);
}

void MORVELIN_CALL DrawProgress(int32_t position, int32_t length) {
  if (!g_draw_progress) return;
  constexpr int kWidth = 40;
  double ratio = length > 0 ? static_cast<double>(position) / length : 1.0;
  if (ratio > 1.0) ratio = 1.0;
  int filled = static_cast<int>(ratio * kWidth);
  if (filled == g_drawn_filled && g_progress_drawn) return;
  g_drawn_filled = filled;
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%", bar, static_cast<int>(ratio * 100.0));
  std::fflush(stderr);
  g_progress_drawn = true;
}

extern "C" void OnInterrupt(int) { Abort(); }

int ConvertOne(const std::string& file, uint32_t kinematic, uint32_t station_text_option) {
  MorvelinRequest request;
  std::memset(&request, 0, sizeof request);
  request.size = MORVELIN_REQUEST_SIZE;
  if (file.size() >= sizeof request.path) {
    std::cerr << file << ": path longer than " << sizeof request.path - 1 << " characters\n";
    return 2;
  }
  std::memcpy(request.path, file.c_str(), file.size() + 1);
  request.options_size = MORVELIN_OPTIONS_SIZE;
  SetFactoryDefaults(MORVELIN_OPTIONS_SIZE, &request.options);
  request.options.kinematic = kinematic;
  request.options.station_text_option = station_text_option;

  MorvelinCallbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.size = MORVELIN_CALLBACKS_SIZE;
  callbacks.message = PrintMessage;
  callbacks.progress = DrawProgress;

  std::printf("%s\n", file.c_str());
  int32_t result = ConvertFile(&request, &callbacks, 0);
  ClearProgress();
  char text[MORVELIN_MESSAGE_SIZE];
  GetErrString(text);

  if (result != MORVELIN_STOPPED || std::strcmp(text, "User Quit") == 0) {
    std::printf("  epochs written:     %d\n", request.epoch_count);
    std::printf("  ephemerides:        %d\n", request.ephemeris_count);
    std::printf("  station lines:      %d\n", request.station_line_count);
    std::printf("  events:             %d\n", request.event_count);
  }
  std::fflush(stdout);
  if (result == MORVELIN_DONE) return 0;
  std::fprintf(stderr, "%s: %s\n", file.c_str(), text);
  return result == MORVELIN_STOPPED ? 1 : 2;
}

}  // namespace

void AddConvertCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "convert",
      "Convert raw data files. Each FILE.dat gives FILE.gpb (measurements), FILE.epp (ephemerides), "
      "FILE.sta (station lines) and FILE.sum (summary) in the same directory; existing files of those "
      "names are replaced. Messages are printed with their GPS time in seconds of the week ('-' when a "
      "message concerns no time). Exit code 0 done, 1 stopped (Ctrl-C) or refused, 2 failed.");
  struct Settings {
    std::vector<std::string> files;
    bool kinematic = false;
    uint32_t station_text_option = 0;
  };
  auto settings = std::make_shared<Settings>();
  command->add_flag("--kinematic", settings->kinematic,
                    "Start in kinematic motion mode (station records may still switch it)");
  command->add_option("--station-text-option", settings->station_text_option,
                      "The second option word, handed to the library unchanged (default 0)");
  command->add_option("FILE", settings->files, "Raw data files to convert")->required();
  command->callback([settings, &exit_code] {
    g_draw_progress = MORVELIN_ISATTY(MORVELIN_FILENO(stderr)) != 0;
    std::signal(SIGINT, OnInterrupt);
    for (const std::string& file : settings->files) {
      int code = ConvertOne(file, settings->kinematic ? 1u : 0u, settings->station_text_option);
      if (code > exit_code) exit_code = code;
      if (code == 1) break;  // stopped by the user: convert nothing more
    }
    std::signal(SIGINT, SIG_DFL);
    exit_code = FinishStandardOutput(exit_code);
  });
}

}  // namespace morvelin::cli
