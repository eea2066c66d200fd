// One echo to 127.0.0.1 in process (PingAddress) against starting the
// system's `ping -c 1 127.0.0.1`, in the same run.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include "monitor/checks/ping.h"

extern char** environ;

namespace {

void BM_PingAddressLoopback(benchmark::State& state) {
  for (auto _ : state) {
    if (!qv::PingAddress(L"127.0.0.1")) {
      state.SkipWithError("127.0.0.1 did not answer (no raw or datagram ICMP socket?)");
      break;
    }
  }
}
BENCHMARK(BM_PingAddressLoopback)->Unit(benchmark::kMicrosecond);

void BM_SpawnSystemPing(benchmark::State& state) {
  char program[] = "ping";
  char count[] = "-c";
  char one[] = "1";
  char quiet[] = "-q";
  char loopback[] = "127.0.0.1";
  char* argv[] = {program, count, one, quiet, loopback, nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  for (auto _ : state) {
    pid_t child = 0;
    if (posix_spawnp(&child, program, &actions, nullptr, argv, environ) != 0) {
      state.SkipWithError("no ping program (install iputils-ping)");
      break;
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("ping -c 1 127.0.0.1 failed");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_SpawnSystemPing)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
