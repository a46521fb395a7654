// Stopping cleanly on SIGINT and SIGTERM (Ctrl+C, `kill`, `timeout`). The
// signal only raises a flag; the command sees it at its next check point
// (every chunk copied, every directory listed, before every commit), throws
// Interrupted, and unwinds as for any failure: transactions roll back and
// part files are removed, so the target stays as it was.
#pragma once

#include "ToolError.h"

namespace kivfs_tool {

// A command stopped by a signal. Printed as any ToolError; the exit status
// is 128 + the signal's number, as a shell reports a process it killed.
class Interrupted : public ToolError {
  public:
    explicit Interrupted(int signal);
    int ExitStatus() const { return 128 + signal_; }

  private:
    int signal_;
};

// Installs the handlers; called once, first thing in main. A signal the
// program was started with ignored (nohup, a background job of a script)
// stays ignored.
void CatchInterrupts();

// The number of the first signal that arrived, or 0.
int InterruptSignal();

// Throws Interrupted once a signal has arrived.
void ThrowIfInterrupted();

}  // namespace kivfs_tool
