// Password change and recovery, for requests without a session.
// "/changepassword" changes a password with the old one: against the
// account files, or through a peer node with the node link on.
// "/Modify_Second" and "/changepass2" recover it with the security data
// (e-mail address, birthday, the answer to the hint question) kept with the
// account: in its file, or with the node link on, through a peer node.
#pragma once

class CChatCore;
class CRequest;
class CAccountWork;
class CRequestForm;

// The local check and the new hash are made on accountWork (see accounts/account_work.h).
void DoChangePassword(CRequest& request, const CRequestForm& form, CChatCore& core,
                      CAccountWork& accountWork);
// Recovery, first step: the hint question, and the form of the second step.
void DoChangePassword1(CRequest& request, const CRequestForm& form, CChatCore& core,
                       CAccountWork& accountWork);
// Recovery, second step: the security data and the new password.
void DoChangePassword2(CRequest& request, const CRequestForm& form, CChatCore& core,
                       CAccountWork& accountWork);
