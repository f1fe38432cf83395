#include "convert/output_paths.h"

#include <array>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <variant>

#include "base/file_io.h"
#include "base/message.h"
#include "base/text_builder.h"
#include "morvelin/gpb.h"
#include "morvelin/morvelin.h"

namespace morvelin {

namespace {

constexpr const char* kExtensions[] = {".gpb", ".epp", ".sum", ".sta"};

bool IsSeparator(char c) {
#if defined(_WIN32)
  return c == '\\';
#else
  // On Linux '/' is the platform's separator; the backslash still counts so
  // that paths written the Windows way keep their meaning.
  return c == '\\' || c == '/';
#endif
}

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string Reason(int error) {
  const char* text = std::strerror(error);
  return text != nullptr ? text : "unknown error";
}

}  // namespace

bool ReplaceExtension(char* buffer, const char* extension, std::size_t buffer_size) {
  std::size_t length = std::strlen(buffer);
  std::size_t blanks = 0;
  while (buffer[blanks] == ' ') ++blanks;

  std::size_t stem = length;  // where the new extension goes
  for (std::size_t i = length; i > blanks; --i) {
    char c = buffer[i - 1];
    if (IsSeparator(c)) break;
    if (c == '.') {
      stem = i - 1;
      break;
    }
  }
  const std::size_t extension_length = std::strlen(extension);
  if (stem - blanks + extension_length + 1 > buffer_size) return false;

  std::memmove(buffer, buffer + blanks, stem - blanks);
  std::memcpy(buffer + stem - blanks, extension, extension_length + 1);
  return true;
}

bool WithExtension(std::string_view path, const char* extension, std::string& result) {
  char buffer[MORVELIN_PATH_SIZE];
  if (path.size() >= sizeof buffer) return false;
  std::memcpy(buffer, path.data(), path.size());
  buffer[path.size()] = '\0';
  if (!ReplaceExtension(buffer, extension, sizeof buffer)) return false;
  result.assign(buffer);
  return true;
}

const std::string& InputName(const ConversionInput& input) {
  if (const auto* file = std::get_if<FileInput>(&input)) return file->path;
  if (const auto* stream = std::get_if<StreamInput>(&input)) return stream->name;
  if (const auto* generated = std::get_if<GeneratedInput>(&input)) return generated->name;
  return std::get<MemoryInput>(input).name;
}

Result<OutputPlan> PlanOutputs(const ConversionRequest& request) {
  OutputPlan plan;
  const std::string& input_name = InputName(request.input);
  const std::string& host_name = request.host_name;
  auto no_room = [](const std::string& path) {
    return Status::Failed(PathMessage("Error: No room for the output file extensions in the path ", path, ""));
  };
  std::string* outputs[] = {&plan.paths.gpb, &plan.paths.epp, &plan.paths.sum, &plan.paths.sta};
  for (std::size_t i = 0; i < 4; ++i) {
    std::string named;
    if (!request.output_base.empty()) {
      *outputs[i] = request.output_base + kExtensions[i];
    } else if (!request.output_dir.empty()) {
      if (!WithExtension(host_name.empty() ? input_name : host_name, kExtensions[i], named)) return no_room(input_name);
      std::string& path = *outputs[i];
      path = request.output_dir;
      if (!IsSeparator(path.back())) path += kSeparator;
      path += named;
    } else if (!WithExtension(input_name, kExtensions[i], *outputs[i])) {
      return no_room(input_name);
    }
  }
  const std::string& named = host_name.empty() ? input_name : host_name;
  if (!WithExtension(named, ".gpb", plan.paths.gpb_header_name) || !WithExtension(named, ".dat", plan.day_name))
    return no_room(named);
  if (host_name.empty()) plan.paths.gpb_header_name = plan.paths.gpb;
  if (plan.paths.gpb_header_name.size() > kGpbPathLimit)
    return Status::Failed(PathMessage("Error: Output path longer than 143 characters: ", plan.paths.gpb_header_name, ""));
  if (std::holds_alternative<FileInput>(request.input)) {
    for (const std::string* output : outputs) {
      if (SameFile(input_name.c_str(), output->c_str()))
        return Status::Failed(PathMessage("Error: Output file would overwrite the input file: ", *output, ""));
    }
  }
  return plan;
}

Result<std::array<std::string, 4>> PlanOutputPaths(const ConversionRequest& request) {
  const Result<OutputPlan> plan = PlanOutputs(request);
  if (!plan.Ok()) return plan.Status();
  return std::array<std::string, 4>{plan->paths.gpb, plan->paths.epp, plan->paths.sum, plan->paths.sta};
}

Status CheckOutputsWritable(const OutputPaths& paths, int& failed_output) {
  const std::string* outputs[] = {&paths.gpb, &paths.epp, &paths.sum, &paths.sta};
  bool created[4] = {};
  for (std::size_t i = 0; i < 4; ++i) {
    const char* path = outputs[i]->c_str();
    int error = 0;
    if (IsDirectory(path)) {
      error = EISDIR;
    } else if (PathExists(path)) {
      // Opened for update, the file keeps every byte.
      errno = 0;
      std::FILE* update = std::fopen(path, "r+b");
      if (update == nullptr) error = errno != 0 ? errno : EACCES;
      else std::fclose(update);
    } else {
      errno = 0;
      std::FILE* fresh = std::fopen(path, "wb");
      if (fresh == nullptr) {
        error = errno != 0 ? errno : EACCES;
      } else {
        std::fclose(fresh);
        created[i] = true;
      }
    }
    if (error != 0) {
      for (std::size_t k = 0; k < i; ++k)
        if (created[k]) std::remove(outputs[k]->c_str());
      failed_output = static_cast<int>(i);
      return Status::Failed(CreateFailure(static_cast<int>(i), *outputs[i]), Reason(error));
    }
  }
  return {};
}

}  // namespace morvelin
