// Secret input for the operator's commands: a line typed at the terminal is
// not echoed; input that is no terminal (a pipe, a file) is read as it is.
#pragma once

#include <optional>
#include <string>

namespace platform {

// True when standard input is a terminal.
bool InputIsTerminal();

// One line of standard input without its line end (nor a CR before it);
// none at the end of the input with nothing read. On a terminal the prompt
// goes to standard error first and the typed line is not echoed; the echo
// comes back afterwards, also when the command is interrupted meanwhile.
std::optional<std::string> ReadHiddenLine(const char* prompt);

}  // namespace platform
