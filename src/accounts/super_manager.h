// The super manager ([general] ManagerName) is the operator's account: he
// removes any room, sees every user's address and appoints managers. No
// page registers that name or recovers its password; the operator sets its
// password with "tolvanss -password NAME" (service/password_command.h), so
// a new site has no usable super manager until he does.
#pragma once

#include <string>

// True when the name is the super manager's account, compared as the
// account files fold names ("Admin" is the account "admin").
bool IsSuperManagerAccount(const std::string& name);
