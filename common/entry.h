#pragma once
// Each console program defines ProgramMain; the platform's entry point (wmain
// on Windows, main elsewhere) hands it the arguments as wide strings,
// program name first.
#include <string>
#include <vector>

int ProgramMain(const std::vector<std::wstring>& args);
