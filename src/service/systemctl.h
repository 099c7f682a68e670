// Running systemctl (or another program) without a shell and collecting what
// it printed.
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
  int startError = 0;   // errno when the program could not be started
  int exitStatus = -1;  // its exit status when it ended by itself
  int signal = 0;       // the signal that ended it, if one did
  std::string output;   // standard output
  std::string errors;   // standard error

  bool Succeeded() const { return startError == 0 && signal == 0 && exitStatus == 0; }
};

// Looks the program up along PATH unless it holds a '/'. Standard input is
// /dev/null.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// $TOLVAN_SYSTEMCTL, or "systemctl" when it is not set.
ProgramRun RunSystemctl(const std::vector<std::string>& arguments);
