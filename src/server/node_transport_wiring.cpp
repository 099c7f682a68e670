#include "server/node_transport_wiring.h"

#include "accounts/cluster_accounts.h"
#include "chat/chat_core.h"
#include "chat/cluster_apply.h"
#include "chat/cluster_state_changes.h"
#include "chat/delivery.h"
#include "platform/console.h"

std::unique_ptr<CNodeTransport> MakeNodeTransport(CChatCore& core) {
  if (!core.NodeLink().On()) return nullptr;
  ClusterSettings settings = ReadClusterSettings();
  if (settings.redis.empty()) {
    platform::ConsoleWrite("node link on, but [cluster] redis names no Redis: records are not carried\n");
    return nullptr;
  }
  NodeTransportHooks hooks;
  hooks.applyRecord = [&core](const ParsedRecord& record) { ApplyNodeRecord(core, record); };
  hooks.applyLine = [&core](const ParsedRecord& record, const LinkOrder& order) {
    ApplyNodeLine(core, record, order.epoch, order.offset);
  };
  hooks.placeOwnLine = [&core](std::uint64_t key, const LinkOrder& order) {
    if (CDelivery* delivery = core.Delivery()) delivery->PlaceOwnLine(key, order.epoch, order.offset);
  };
  hooks.linkDown = [&core] {
    if (CDelivery* delivery = core.Delivery()) delivery->ReleaseWaitingLines(0);
  };
  hooks.applySnapshot = [&core](const ClusterSnapshot& snapshot) { ApplyClusterSnapshot(core, snapshot); };
  hooks.dropNode = [&core](const std::string& node) { DropNodeUsers(core, node); };
  hooks.ownState = [&core] { return OwnClusterState(core); };
  hooks.answerRequest = [cost = ReadHashCost()](const ParsedRecord& request, CRedisCalls& redis) {
    return AnswerFromAccounts(request, redis, cost);
  };
  return std::make_unique<CNodeTransport>(core.NodeLink(), std::move(settings), std::move(hooks));
}
