// quorvanexctl [--dir DIR] COMMAND ...: the operator's command. Its texts are
// English, like the mail program's.
#include <string>
#include <string_view>
#include <vector>

#include "common/entry.h"
#include "ctl/commands.h"
#include "ctl/ctl_context.h"
#include "ctl/program_directory.h"

namespace qv {
namespace {

using RunFunction = int (*)(CtlContext&, const CommandArgs&);

struct Command {
  std::wstring_view name;
  std::wstring_view synopsis;
  std::wstring_view summary;
  RunFunction run;
};

constexpr Command kCommands[] = {
    {L"check", L"check", L"check the INI files as the Monitor reads them", RunCheck},
    {L"status", L"status", L"the service, the last check cycle, the log", RunStatus},
    {L"log", L"log [-n N] [-f]", L"the last N log lines (20); -f follows them", RunLog},
    {L"devices", L"devices [PREFIX]", L"the devices as the device check sees them", RunDevices},
    {L"ping", L"ping", L"ping each switched-on server once", RunPing},
    {L"servers", L"servers [on|off N...]", L"list the servers, or switch them on or off", RunServers},
    {L"set", L"set interval|ping|device VALUE", L"set what the Configurator sets", RunSet},
    {L"restart", L"restart", L"restart the service as the Configurator does", RunRestart},
    {L"test-mail", L"test-mail", L"send a test mail (Ostrival.exe --test)", RunTestMail},
    {L"test-alert", L"test-alert [ping|device]", L"put the on-screen alert up now", RunTestAlert},
};

constexpr std::wstring_view kVersion = L"" QV_VERSION;

std::wstring UsageText() {
  std::wstring text =
      L"usage: quorvanexctl [--dir DIR] COMMAND [ARGUMENTS]\n"
      L"       quorvanexctl --help | --version\n"
      L"\n"
      L"DIR is the folder of the programs and their INI files; by default the\n"
      L"folder of quorvanexctl itself (a link resolved).\n"
      L"\n"
      L"commands:\n";
  for (const Command& c : kCommands) {
    std::wstring line = L"  ";
    line.append(c.synopsis);
    line.append(c.synopsis.size() < 32 ? 32 - c.synopsis.size() : 1, L' ');
    line.append(c.summary);
    line.append(L"\n");
    text.append(line);
  }
  return text;
}

const Command* FindCommand(std::wstring_view name) {
  for (const Command& c : kCommands) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

}  // namespace
}  // namespace qv

int ProgramMain(const std::vector<std::wstring>& args) {
  using namespace qv;
  const std::wstring usage = UsageText();
  std::wstring directory;
  bool haveDirectory = false;
  std::size_t i = 1;
  for (; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg.empty() || arg[0] != L'-') break;
    if (arg == L"--help") {
      StandardOutput().Write(usage);
      return kExitOk;
    }
    if (arg == L"--version") {
      StandardOutput().Write(L"quorvanexctl " + std::wstring(kVersion) + L"\n");
      return kExitOk;
    }
    if (arg == L"--dir" && i + 1 < args.size()) {
      directory = args[++i];
      haveDirectory = true;
    } else if (arg.starts_with(L"--dir=")) {
      directory = arg.substr(6);
      haveDirectory = true;
    } else {
      return CtlContext(L"", usage).UsageError(arg == L"--dir" ? L"--dir needs a directory"
                                                               : L"unknown option " + arg);
    }
  }
  if (i == args.size()) return CtlContext(L"", usage).UsageError(L"no command given");
  const Command* command = FindCommand(args[i]);
  if (command == nullptr) return CtlContext(L"", usage).UsageError(L"unknown command " + args[i]);

  if (haveDirectory) {
    std::optional<std::wstring> full = FullDirectoryPath(directory);
    if (!full) {
      StandardError().Write(L"quorvanexctl: --dir " + directory + L": no such directory\n");
      return kExitUsage;
    }
    directory = std::move(*full);
  } else {
    directory = ProgramDirectory();
    if (directory.empty()) {
      StandardError().Write(L"quorvanexctl: cannot find the folder of quorvanexctl itself; give --dir\n");
      return kExitUsage;
    }
  }
  CtlContext ctx(std::move(directory), usage);
  return command->run(ctx, CommandArgs(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end()));
}
