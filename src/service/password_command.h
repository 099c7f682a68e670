// "tolvanss -password NAME": the operator gives an account (above all the
// super manager's, which no page registers) a password. Run in the
// server's working directory: tolvann2.ini says where the accounts are. The
// password is read from the terminal without echo, twice, or as one line
// from standard input when that is no terminal. It is stored as
// registration stores it (the Argon2id hash at the configured cost): in the
// account file, or, with the node link on, in the account's hash in Redis,
// the only place linked nodes look.
#pragma once

#include <string>
#include <vector>

// The arguments after "-password"; the process's exit code (0 when set).
int RunPasswordCommand(const std::vector<std::string>& arguments);
