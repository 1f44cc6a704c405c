// For tests of the terminal front end: runs a function in a child process
// whose controlling terminal is a fresh pseudo-terminal, or that has no
// controlling terminal at all.
#pragma once

#include <string>

// A child process on a pseudo-terminal: what it writes to the terminal is
// collected; what is sent arrives as typed keys.
class PseudoTerminalChild {
 public:
  // Starts body() in the child; the child exits with its result.
  explicit PseudoTerminalChild(int (*body)());
  ~PseudoTerminalChild();  // kills the child if it still runs
  PseudoTerminalChild(const PseudoTerminalChild&) = delete;
  PseudoTerminalChild& operator=(const PseudoTerminalChild&) = delete;

  bool started() const { return pid_ > 0; }
  bool Send(const std::string& keys);
  // Collects output until text appears after the end of the text found by
  // the previous call, as a reader follows the screen; false when timeoutMs
  // passes or the child closes the terminal first.
  bool WaitFor(const std::string& text, int timeoutMs);
  // The child's exit status, or -1 when it did not exit within timeoutMs.
  int Wait(int timeoutMs);
  // Everything the child wrote so far, without carriage returns.
  const std::string& output() const { return output_; }

 private:
  bool ReadSome(int timeoutMs);

  int pid_ = -1;
  int master_ = -1;
  std::string output_;
  size_t seen_ = 0;
};

// Runs body() in a child process in a new session, so without a
// controlling terminal; gives its exit status, or -1.
int RunWithoutTerminal(int (*body)());
