#include "common/entry.h"
#include "common/text_util.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 0; i < argc; ++i) args.push_back(qv::Utf8ToWide(argv[i]));
  return ProgramMain(args);
}
