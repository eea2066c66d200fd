#pragma once
// The stop signals as a byte on a pipe, so that the thread that waits for
// them polls one descriptor beside whatever else may wake it. One pipe per
// process: the signal handler has to find it.
#include <signal.h>

namespace qv {

// Bounds each poll of the pipe: some runtimes (sanitizers) run a handler
// only after the thread has left its system call, so the flag is looked at
// after every wait.
inline constexpr int kStopSignalPollMs = 500;

// SIGTERM, what systemd sends; SIGINT and SIGHUP, a Ctrl-C and a closed
// terminal.
sigset_t StopSignalSet();

// Makes the pipe and installs the handler of the stop signals: it sets the
// flag TakeStopSignal reads and writes 'T' to the pipe. False when there is
// no pipe; the flag works all the same.
bool OpenStopSignalPipe();
// From here on a stop signal only sets the flag.
void CloseStopSignalPipe();
// The end to poll; -1 without a pipe.
int StopSignalPipeFd();
// Wakes the polling thread with `c`, from any thread.
void WakeStopSignalPipe(char c);
// True when a stop signal has come since the last call.
bool TakeStopSignal();

}  // namespace qv
