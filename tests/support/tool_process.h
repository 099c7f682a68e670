// The binary run once as a command (not as a server) in a directory, with
// its standard input fed from a string; its exit code and what it printed.
#pragma once

#include <string>
#include <vector>

class ServerProcess;

struct ToolRun {
  int exitCode = -1;   // -1 when it did not end by itself within 10 seconds
  std::string output;  // standard output and error together
};

ToolRun RunTool(const std::string& directory, const std::vector<std::string>& arguments, const std::string& input);

// "tolvanss -password NAME" in the server's directory, the password on
// standard input: true when it says the password is set.
bool SetPasswordWithTool(ServerProcess& server, const std::string& name, const std::string& password);
