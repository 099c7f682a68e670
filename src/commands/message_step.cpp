#include "commands/message_step.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "commands/chat_line.h"
#include "commands/command_parser.h"
#include "commands/evidence_command.h"
#include "commands/help_command.h"
#include "commands/join_command.h"
#include "commands/room_admin_commands.h"
#include "commands/user_commands.h"
#include "http/request_form.h"

void RunMessageStep(CommandContext& context) {
  const ClassifiedInput input = ClassifyInput(context.form.FindField("message"));
  const std::string target = input.target.value_or("");
  const std::string rest = input.rest.value_or("");
  switch (input.code) {
    case kChatLineCode:
      SayChatLine(context, rest);
      break;
    case kManagerList:
      ShowManager(context.core, context.Session().id);
      break;
    case kList:
      ShowRoom(context.core, context.Session().id, target);
      break;
    case kJoin:
      CommandJoin(context, target, rest);
      break;
    case kMessage:
      CommandPage(context, target, rest);
      break;
    case kFind:
      CommandFind(context, target);
      break;
    case kUsers:
      CommandUsers(context);
      break;
    case kKick:
    case kBan:
      CommandKickOrBan(context, input.code, rest);
      break;
    case kCheckMoney:
      CommandCheckMoney(context, target);
      break;
    case kIgnore:
      CommandIgnore(context, target);
      break;
    case kHelp:
      CommandHelp(context, target);
      break;
    case kEvidence:
      CommandEvidence(context);
      break;
    case kRemoveRoom:
      CommandRemoveRoom(context, target);
      break;
    case kSetManager:
    case kRemoveManager:
      CommandChangeManager(context, input.code, target, rest);
      break;
    case kLockRoom:
    case kUnlockRoom:
      CommandLockRoom(context, input.code, target);
      break;
    case kAuthorize:
    case kRefuse:
      CommandAdmission(context, input.code, target);
      break;
    default:
      // Empty, unknown and ambiguous input, and the words that have no
      // effect in the chat form (ME, MSG, COLOR, LOGON, LOGOFF, STATS).
      break;
  }
}
