// morvelin: the command-line host of the conversion library.
#include "commands.h"

int main(int argc, char** argv) {
  CLI::App app{
      "morvelin converts a GPS receiver's raw data file (.dat) into the measurement (.gpb), "
      "ephemeris (.epp), station (.sta) and summary (.sum) files of a post-processing host, "
      "written beside the input."};
  app.require_subcommand(1);
  app.set_version_flag("--version", "morvelin 0.1.0");
  int exit_code = 0;
  morvelin::cli::AddConvertCommand(app, exit_code);
  morvelin::cli::AddDetectCommand(app, exit_code);
  morvelin::cli::AddInspectCommand(app, exit_code);
  morvelin::cli::AddTimeCommand(app, exit_code);
  CLI11_PARSE(app, argc, argv);
  return exit_code;
}
