// The help frame and the usage errors of tarvik-cli in the program's language: CLI11 writes
// them in English, so its formatter gets our labels and its parse errors are put in our words.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/cli_common.h"
#include "resources/string_ids.h"

namespace tarvik::cli {

namespace {

// Characters of UTF-8 text, for the help's columns: CLI11 pads by bytes.
std::size_t Width(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

class Formatter : public CLI::Formatter {
 public:
  Formatter() {
    label("Usage", Text(STR_CLI_LABEL_USAGE));
    label("OPTIONS", Text(STR_CLI_LABEL_OPTIONS));
    label("SUBCOMMAND", Text(STR_CLI_LABEL_COMMAND));
    label("SUBCOMMANDS", Text(STR_CLI_LABEL_COMMANDS));
    label("Positionals", Text(STR_CLI_GROUP_ARGUMENTS));
    label("REQUIRED", Text(STR_CLI_LABEL_REQUIRED));
    // Type names of options that do not name their own.
    label("TEXT", Text(STR_CLI_TYPE_TEXT));
    for (const char* number : {"INT", "UINT", "FLOAT"}) label(number, Text(STR_CLI_TYPE_NUMBER));
    column_width(36);
  }

  std::string make_option(const CLI::Option* opt, bool positional) const override {
    std::string name = "  " + make_option_name(opt, positional) + make_option_opts(opt);
    std::string out = name;
    std::size_t width = Width(name);
    if (width >= column_width_) {
      out += '\n';
      width = 0;
    }
    out.append(column_width_ - width, ' ');
    for (char c : make_option_desc(opt)) {
      out += c;
      if (c == '\n') out.append(column_width_, ' ');
    }
    return out + '\n';
  }
};

// What follows `prefix` in `text`, up to `stop` (or the end); empty when `text` lacks either.
std::string Between(std::string_view text, std::string_view prefix, std::string_view stop = {}) {
  std::size_t start = text.find(prefix);
  if (start == std::string_view::npos) return {};
  start += prefix.size();
  std::size_t end = stop.empty() ? text.size() : text.find(stop, start);
  if (end == std::string_view::npos) return {};
  return std::string(text.substr(start, end - start));
}

std::u16string Arg(const std::string& arg) {
  return PathArgument(arg);
}

std::u16string Joined(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) line += (line.empty() ? "" : " ") + a;
  return Arg(line);
}

std::u16string CommandNames(const CLI::App& app) {
  std::string names;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    names += (names.empty() ? "" : ", ") + sub->get_name();
  return Arg(names);
}

// The message for arguments that no option of `app` took, in the order they were given (CLI11
// lists them backwards).
std::string ExtrasMessage(const CLI::App& app, std::vector<std::string> extras,
                          const std::vector<std::string>& args) {
  std::vector<std::string> ordered;
  for (const std::string& arg : args) {
    auto found = std::find(extras.begin(), extras.end(), arg);
    if (found == extras.end()) continue;
    ordered.push_back(arg);
    extras.erase(found);
  }
  ordered.insert(ordered.end(), extras.begin(), extras.end());
  extras = std::move(ordered);
  if (app.get_parent() == nullptr && !extras.front().starts_with('-'))
    return Text(STR_CLI_ERR_UNKNOWN_COMMAND, Arg(extras.front()), CommandNames(app));
  // A word that starts with "-" (and is not a negative number) was meant as an option.
  for (const std::string& arg : extras) {
    if (arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9') && arg[1] != '.')
      return Text(STR_CLI_ERR_UNKNOWN_OPTION, Arg(arg.substr(0, arg.find('='))));
  }
  if (extras.size() == 1) return Text(STR_CLI_ERR_UNEXPECTED, Arg(extras.front()));
  return Text(STR_CLI_ERR_UNEXPECTED_MANY, Joined(extras));
}

// The message for CLI11's error `e` in command `app`, from the wording of the CLI11 that
// Debian ships; any other wording gives the general message.
std::string UsageMessage(const CLI::ParseError& e, const CLI::App& app,
                         const std::vector<std::string>& args) {
  const std::string what = e.what();
  const std::string named = what.substr(0, what.find(": "));
  const bool extra = dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr;
  if (extra || dynamic_cast<const CLI::RequiredError*>(&e)) {
    // A mistyped option shows as an extra and, often, as the option it meant missing: the
    // extra says what went wrong.
    for (const CLI::App* at = &app; at; at = at->get_parent()) {
      std::vector<std::string> extras = at->remaining(false);
      if (!extras.empty()) return ExtrasMessage(*at, extras, args);
    }
  }
  if (dynamic_cast<const CLI::RequiredError*>(&e)) {
    if (what.starts_with("A subcommand ")) return Text(STR_CLI_ERR_NO_COMMAND, CommandNames(app));
    std::string name = Between(what, "", " is required");
    if (!name.empty()) return Text(STR_CLI_ERR_REQUIRED, Arg(name));
  } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
    if (what.find(": At Most ") != std::string::npos)
      return Text(STR_CLI_ERR_TOO_OFTEN, Arg(named));
    if (what.find(" missing") != std::string::npos || what.find(": At least ") != std::string::npos)
      return Text(STR_CLI_ERR_NO_VALUE, Arg(named));
    std::string name = Between(what, " arguments to ", ", got");
    if (!name.empty()) return Text(STR_CLI_ERR_NO_VALUE, Arg(name));
  } else if (dynamic_cast<const CLI::ConversionError*>(&e)) {
    std::string name = Between(what, "Could not convert: ", " = ");
    if (!name.empty()) {
      std::string value = Between(what, " = ");
      const CLI::Option* opt = app.get_option_no_throw(name);
      bool number = opt && opt->get_type_name() == Text(STR_CLI_TYPE_NUMBER);
      return Text(number ? STR_CLI_ERR_NOT_NUMBER : STR_CLI_ERR_BAD_VALUE, Arg(name), Arg(value));
    }
    if (named.size() < what.size()) return Text(STR_CLI_ERR_INVALID, Arg(named));
  } else if (dynamic_cast<const CLI::ValidationError*>(&e)) {
    // A check of ours said it in our words: "--output: <message>".
    if (std::size_t own = what.find(kOwnMessage); own != std::string::npos)
      return what.substr(0, own) + what.substr(own + 1);
    if (named.size() < what.size()) return Text(STR_CLI_ERR_INVALID, Arg(named));
  }
  return Text(STR_CLI_ERR_COMMAND_LINE);
}

}  // namespace

std::shared_ptr<CLI::FormatterBase> MakeHelpFormatter() {
  return std::make_shared<Formatter>();
}

void PrintUsageError(const CLI::ParseError& e, const CLI::App& program, int argc, char** argv) {
  // The command being parsed when it failed.
  const CLI::App* app = &program;
  for (const CLI::App* sub : program.get_subcommands()) app = sub;
  PrintError(UsageMessage(e, *app, std::vector<std::string>(argv + 1, argv + argc)));
  std::string command = program.get_name();
  if (app != &program) command += " " + app->get_name();
  PrintError(Text(STR_CLI_SEE_HELP, Arg(command)));
}

}  // namespace tarvik::cli
