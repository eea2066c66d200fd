#include "common/entry.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  return ProgramMain(args);
}
