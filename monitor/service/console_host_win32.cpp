#include <windows.h>

#include "common/handles_win32.h"
#include "monitor/service/console_host.h"

namespace qv {
namespace {

// Manual-reset events: the run is to end / the stop sequence has finished.
UniqueKernelHandle g_stop;
UniqueKernelHandle g_finished;

BOOL WINAPI OnConsoleControl(DWORD type) {
  SetEvent(g_stop.Get());
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) return TRUE;
  // Closing the window (or logging off): the process ends as soon as this
  // returns, so the stop sequence must have written its lines by then.
  WaitForSingleObject(g_finished.Get(), INFINITE);
  return TRUE;
}

// The C runtime's getchar would hold the stdin lock for as long as it waits,
// and the runtime's exit takes that lock: read the handle itself.
DWORD WINAPI ReadOneCharacter(void*) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char c = 0;
  DWORD got = 0;
  // One character, the end of input, an error or no input at all: each ends the run.
  if (in != nullptr && in != INVALID_HANDLE_VALUE) ReadFile(in, &c, 1, &got, nullptr);
  SetEvent(g_stop.Get());
  return 0;
}

}  // namespace

void PrepareConsoleStop() {
  g_stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_finished.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void WaitForConsoleStop() {
  // The reader is never joined: it may wait for input for ever, and the
  // process ends around it.
  const UniqueKernelHandle reader(CreateThread(nullptr, 0, ReadOneCharacter, nullptr, 0, nullptr));
  if (!reader) ReadOneCharacter(nullptr);
  WaitForSingleObject(g_stop.Get(), INFINITE);
}

void ConsoleStopFinished() { SetEvent(g_finished.Get()); }

}  // namespace qv
