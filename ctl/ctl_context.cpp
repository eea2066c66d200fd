#include "ctl/ctl_context.h"

namespace qv {

CtlContext::CtlContext(std::wstring directory, std::wstring usage, TextOutput& out, TextOutput& err)
    : directory_(std::move(directory)), usage_(std::move(usage)), out_(out), err_(err) {}

int CtlContext::UsageError(std::wstring_view message) {
  std::wstring text = L"quorvanexctl: ";
  text.append(message);
  text.append(L"\n");
  text.append(usage_);
  Err(text);
  return kExitUsage;
}

}  // namespace qv
