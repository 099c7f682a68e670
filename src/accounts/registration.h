// Registration: "/hyutyuy" (and "/register" with the node link off) write
// the local account files; "/register" with the node link on asks a peer.
// Besides the name and the password, the form may give the security data
// that recovers a forgotten password ("email", "birthday", "question",
// "answer"), kept with the account. The JSON API registers the same ways
// and answers the outcome its own way.
#pragma once

#include <functional>
#include <string>

#include "accounts/user_database.h"

class CAccountWork;
class CChatCore;
class CPage;
class CRegistrationRate;
class CRequest;
class CRequestForm;
inline constexpr size_t kMaxUserNameLength = 20;  // bytes

enum class NameRules { kLocal, kNodeLink };

// The name breaks the registration rules: a forbidden byte, the reserved
// names ("大家" and the super manager's), the marks ★ and ☆ (their bytes
// anywhere), or a name that would leave the account directory.
bool BreaksNameRules(const std::string& name, NameRules rules);

struct RegistrationRequest {
  std::string name;
  std::string password;
  SecurityData security;
};

// How a registration ended.
enum class RegistrationResult {
  kCreated,
  kNameTaken,
  kIncomplete,   // no name or password, or a password or security data no account file can keep
  kBadName,      // the name breaks the rules
  kNameTooLong,  // over kMaxUserNameLength bytes
  kTooOften,     // the client's address registered too often in the last minute
  kFailed,       // the account could not be written, or the peer node did not answer
  kBusy,         // too much account work waits
};

using RegistrationAnswer = std::function<void(RegistrationResult result, CPage& page)>;

// The account file and its hash are made on accountWork (see accounts/account_work.h).
void RegisterLocally(CRequest& request, const RegistrationRequest& registration, CAccountWork& accountWork,
                     CRegistrationRate& rate, const RegistrationAnswer& answer);
// A peer node makes the account (the node link is on).
void RegisterThroughNodes(CRequest& request, const RegistrationRequest& registration, CChatCore& core,
                          CRegistrationRate& rate, const RegistrationAnswer& answer);

// The registration pages' forms. A client address past its registrations a
// minute gets "toomanyreg.html"; a file that cannot be written, "errorr.html".
void DoNewAccount(CRequest& request, const CRequestForm& form, CAccountWork& accountWork, CRegistrationRate& rate);
void DoRegister(CRequest& request, const CRequestForm& form, CChatCore& core, CRegistrationRate& rate);
