#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "common/handles_posix.h"
#include "common/text_util.h"
#include "ctl/monitor_presence.h"

namespace qv {

// A running Monitor holds an exclusive flock on its folder; a shared try
// fails against it and never against another query.
bool MonitorRunsIn(const std::wstring& folder) {
  const UniqueFd fd(open(WideToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd && flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

}  // namespace qv
