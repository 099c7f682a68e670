#include "nodelink/cluster_state.h"

namespace {
constexpr std::string_view kShared = "shared:";
constexpr std::string_view kNode = "node:";
}  // namespace

std::string StateKey(const std::string& owner, const std::string& hash) {
  return owner.empty() ? std::string(kShared) + hash : std::string(kNode) + owner + ":" + hash;
}

bool ParseStateKey(const std::string& key, std::string& owner, std::string& hash) {
  const std::string_view text(key);
  if (text.substr(0, kShared.size()) == kShared) {
    owner.clear();
    hash = key.substr(kShared.size());
    return true;
  }
  const size_t colon = key.rfind(':');
  if (text.substr(0, kNode.size()) != kNode || colon == std::string::npos || colon < kNode.size()) return false;
  owner = key.substr(kNode.size(), colon - kNode.size());
  hash = key.substr(colon + 1);
  return !owner.empty();
}
