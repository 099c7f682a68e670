// Registration: "/hyutyuy" (and "/register" with the node link off) write
// the local account files; "/register" with the node link on asks a peer.
// Besides the name and the password, the form may give the security data
// that recovers a forgotten password ("email", "birthday", "question",
// "answer"), kept with the account.
#pragma once

#include <string>

class CAccountWork;
class CChatCore;
class CRegistrationRate;
class CRequest;
class CRequestForm;
inline constexpr size_t kMaxUserNameLength = 20;  // bytes

enum class NameRules { kLocal, kNodeLink };

// The name breaks the registration rules: a forbidden byte, the reserved
// names ("大家" and the super manager's), the marks ★ and ☆ (their bytes
// anywhere), or a name that would leave the account directory.
bool BreaksNameRules(const std::string& name, NameRules rules);

// The account file and its hash are made on accountWork (see accounts/account_work.h).
// A client address past its registrations a minute gets "toomanyreg.html";
// a file that cannot be written, "errorr.html".
void DoNewAccount(CRequest& request, const CRequestForm& form, CAccountWork& accountWork, CRegistrationRate& rate);
void DoRegister(CRequest& request, const CRequestForm& form, CChatCore& core, CRegistrationRate& rate);
