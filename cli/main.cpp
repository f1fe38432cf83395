// morvelin: the command-line host of the conversion library.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <sstream>
#include <string>

#if !defined(_WIN32)
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "commands.h"

#ifndef MORVELIN_VERSION
#define MORVELIN_VERSION "0.1.0"
#endif

namespace {

// The help's width: the terminal's, else COLUMNS, else 80; kept readable.
std::size_t HelpWidth() {
  std::size_t width = 0;
#if !defined(_WIN32)
  winsize size{};
  if (isatty(STDOUT_FILENO) != 0 && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) width = size.ws_col;
#endif
  if (width == 0) {
    const char* columns = std::getenv("COLUMNS");
    if (columns != nullptr) width = std::strtoul(columns, nullptr, 10);
  }
  if (width == 0) width = 80;
  return width < 40 ? 40 : width > 160 ? 160 : width;
}

// Breaks each line of text at blanks so that no line is wider than width;
// a continued line keeps the indentation its line began with.
std::string Wrap(const std::string& text, std::size_t width) {
  std::string wrapped;
  std::istringstream lines(text);
  std::string line;
  bool first = true;
  while (std::getline(lines, line)) {
    if (!first) wrapped += '\n';
    first = false;
    const std::string indent = line.substr(0, line.find_first_not_of(' ') == std::string::npos
                                                  ? 0
                                                  : line.find_first_not_of(' '));
    while (line.size() > width) {
      std::size_t cut = line.rfind(' ', width);
      if (cut == std::string::npos || cut <= indent.size()) cut = line.find(' ', width);
      if (cut == std::string::npos) break;
      wrapped += line.substr(0, cut) + '\n';
      const std::size_t next = line.find_first_not_of(' ', cut);
      line = next == std::string::npos ? std::string() : indent + line.substr(next);
    }
    wrapped += line;
  }
  if (!text.empty() && text.back() == '\n') wrapped += '\n';
  return wrapped;
}

// CLI11's formatter with every description wrapped to the width.
class WrappingFormatter : public CLI::Formatter {
 public:
  explicit WrappingFormatter(std::size_t width) : width_(width) {}

  std::string make_description(const CLI::App* app) const override {
    return Wrap(CLI::Formatter::make_description(app), width_);
  }
  std::string make_option_desc(const CLI::Option* option) const override {
    return Wrap(CLI::Formatter::make_option_desc(option), RightColumn());
  }
  std::string make_subcommand(const CLI::App* sub) const override {
    std::stringstream out;
    CLI::detail::format_help(out, sub->get_display_name(true), Wrap(sub->get_description(), RightColumn()),
                             column_width_);
    return out.str();
  }

 private:
  std::size_t RightColumn() const { return width_ > column_width_ + 20 ? width_ - column_width_ : 20; }
  std::size_t width_;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "morvelin converts a GPS receiver's raw data file (.dat) into the measurement (.gpb), "
      "ephemeris (.epp), station (.sta) and summary (.sum) files of a post-processing host, "
      "written beside the input."};
  app.formatter(std::make_shared<WrappingFormatter>(HelpWidth()));
  app.require_subcommand(1);
  app.set_version_flag("--version", "morvelin " MORVELIN_VERSION);
  morvelin::cli::WatchForClosedOutput();
  int exit_code = morvelin::cli::kExitDone;
  morvelin::cli::AddConvertCommand(app, exit_code);
  morvelin::cli::AddDetectCommand(app, exit_code);
  morvelin::cli::AddInspectCommand(app, exit_code);
  morvelin::cli::AddQcCommand(app, exit_code);
  morvelin::cli::AddTimeCommand(app, exit_code);
  morvelin::cli::AddRinexCommand(app, exit_code);
  morvelin::cli::AddImportCommand(app, exit_code);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    return morvelin::cli::FinishStandardOutput(app.exit(success));  // --help, --version
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return morvelin::cli::kExitUsage;
  } catch (const std::exception& error) {
    // Nothing a command meets may end the process: a path the system
    // cannot take, memory running out.
    std::fprintf(stderr, "morvelin: %s\n", error.what());
    return morvelin::cli::kExitFailed;
  } catch (...) {
    std::fprintf(stderr, "morvelin: internal failure\n");
    return morvelin::cli::kExitFailed;
  }
  return exit_code;
}
