// tarvik-cli export FILE -o OUT [--ini PATH] [--schema NAME] [--profile NAME]
//   [--areas NAME[,NAME...]] [--types CODE[,CODE...]] [--force]
// Loads, parses and counts a table, ticks rows as the main window would, and writes the file
// for the car through an export profile, with the tasks that Save as runs.
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_common.h"
#include "app/cli/convert_session.h"
#include "core/platform_files.h"
#include "core/store_lock.h"
#include "resources/string_ids.h"

namespace tarvik::cli {

namespace {

struct ExportOptions : SessionOptions {
  std::string out;
  std::string profile;
  std::vector<std::string> areas;
  std::vector<std::string> types;
  bool force = false;
};

// The extension of the last path component, leading dot included, as the platform's path
// splitting gives it; empty when the name has no dot.
std::u16string_view Extension(std::u16string_view path) {
  std::size_t slash = path.find_last_of(u"/\\");
  std::size_t start = slash == std::u16string_view::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind(u'.');
  if (dot == std::u16string_view::npos || dot < start) return {};
  return path.substr(dot);
}

// The Save as rule: the profile's extension is appended unless the path already ends in it
// (in any letter case). A device or pipe (/dev/null, /dev/stdout) is written as named.
std::u16string WithProfileExtension(std::u16string path, const ExportProfile& profile) {
  if (platform::IsDeviceOrPipe(platform::NativePath(path))) return path;
  std::u16string_view ext = Extension(FieldText(profile.File));
  if (!ext.empty() && !EqualsNoCase(ext, Extension(path))) path += ext;
  return path;
}

// The chosen profile: --profile among the enabled ones, else the current one, else the first
// enabled one (the type that Save as preselects). Null after printing why.
ExportProfile* ChooseProfile(CParamStore& params, const std::string& name, int& status) {
  std::vector<std::u16string> names;
  ExportProfile* chosen = nullptr;
  ExportProfile* first = nullptr;
  std::u16string wanted = Utf8ToUtf16(name);
  for (ExportProfile& p : params.Profiles()) {
    if (IsDeleted(p) || !(p.Param & PARAM_ENABLED)) continue;
    names.emplace_back(FieldText(p.Name));
    if (!first) first = &p;
    if (name.empty() ? IsCurrent(p) && !chosen : !chosen && names.back() == wanted) chosen = &p;
  }
  if (name.empty() && !chosen) chosen = first;
  if (!chosen) {
    if (name.empty()) {
      PrintError(Text(STR_CLI_NO_ENABLED_PROFILE));
      status = kExitFailed;
    } else {
      PrintError(Text(STR_CLI_NO_PROFILE, wanted, Utf8ToUtf16(JoinNames(names))));
      status = kExitUsage;
    }
  }
  return chosen;
}

int RunExport(const ExportOptions& options) {
  ConvertSession session;
  if (int status = session.LoadSettings(options); status != kExitOk) return status;

  ExportProfile* profile = nullptr;
  std::u16string target;
  {
    StoreHold<CParamStore> hold(&session.params, StoreHold<CParamStore>::Wait);
    int status = kExitOk;
    profile = ChooseProfile(session.params, options.profile, status);
    if (!profile) return status;
    target = WithProfileExtension(PathArgument(options.out), *profile);
  }
  // Checked again when the file is written, which never replaces what appeared meanwhile.
  // A link counts as a file, also one that points nowhere; a device or pipe holds nothing to
  // lose.
  struct stat st {};
  const std::string native = platform::NativePath(target);
  if (!options.force && platform::NameTaken(native) && !platform::IsDeviceOrPipe(native) &&
      !(::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    PrintError(Text(STR_CLI_EXISTS, target));
    return kExitFailed;
  }

  if (int status = session.LoadTable(options.file); status != kExitOk) return status;

  ConvertSession::Selection selection;
  if (int status = session.Select(options.areas, options.types, selection); status != kExitOk)
    return status;

  WorkerTask task;
  session.Prepare(task, TASK_EXPORT, selection);
  task.targetPath = target;
  task.exportProfile = profile;
  task.replaceTarget = options.force;
  session.Run(task);
  if (Aborted(task) || task.failure.stringId != 0) {
    PrintError(AbortMessage(task));
    return kExitFailed;
  }
  const ExportResult& r = task.exportResult;
  Output out;
  out.Append(Text(STR_CLI_EXPORT_SUMMARY, r.linesWritten, r.linesLeftOut, r.bytesWritten, target) +
             '\n');
  bool written = out.Finish();
  if (r.linesLeftOut != 0) PrintError(Text(STR_CLI_TRUNCATED, profile->SizeLimit));
  return written ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterExport(CliApp& app) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* cmd =
      app.AddCommand("export", STR_CLI_EXPORT_HELP, [options] { return RunExport(*options); });
  CliApp::AddTableArgument(cmd, options->file);
  cmd->add_option("-o,--output", options->out, Text(STR_CLI_OUT))
      ->required()
      ->type_name(Text(STR_CLI_TYPE_FILE))
      ->check(FileNameCheck(/*output=*/true));
  AddIniOption(cmd, options->ini);
  cmd->add_option("--schema", options->schema, Text(STR_CLI_SCHEMA))
      ->type_name(Text(STR_CLI_TYPE_NAME));
  cmd->add_option("--profile", options->profile, Text(STR_CLI_PROFILE))
      ->type_name(Text(STR_CLI_TYPE_NAME));
  cmd->add_option("--areas", options->areas, Text(STR_CLI_AREAS))
      ->type_name(Text(STR_CLI_TYPE_NAME))
      ->delimiter(',');
  cmd->add_option("--types", options->types, Text(STR_CLI_TYPES))
      ->type_name(Text(STR_CLI_TYPE_CODE))
      ->delimiter(',');
  cmd->add_flag("--force", options->force, Text(STR_CLI_FORCE));
}

}  // namespace tarvik::cli
