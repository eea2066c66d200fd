#pragma once
// How a console run learns that it is to end: Enter or the end of standard
// input on both platforms; Ctrl-C, Ctrl-Break and closing the console window
// on Windows; SIGINT, SIGTERM and SIGHUP on Linux. Each ends the run the
// same way, through the stop sequence.

namespace qv {

// Call before the first thread starts: sets the handlers up (on Linux the
// stop signals stay held back on every thread started afterwards, so they
// reach the one that waits).
void PrepareConsoleStop();
// Blocks until the run is to end.
void WaitForConsoleStop();
// The stop sequence has finished; a closing console window that waited for
// it lets the process end now.
void ConsoleStopFinished();

}  // namespace qv
