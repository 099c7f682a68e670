// CNamedNode and CNamedList: the list under which rooms and sessions live.
// Nodes are found by name (ASCII case folding) or by id (exact); rooms get a
// random decimal id from 1 to 32768 when they are added.
//
// The container has a small lock of its own, held only inside these
// operations and never while calling out, so any thread may walk or search a
// list while another changes it. Nodes are shared: a node found here stays
// valid for its finder even if the list drops it meanwhile.
#pragma once

#include <memory>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <utility>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/text.h"
#include "platform/clock.h"

class CNamedNode {
 public:
  CNamedNode(std::string name, std::string key, std::string id)
      : m_name(std::move(name)), m_key(m_name.empty() ? std::string() : std::move(key)), m_id(std::move(id)) {}
  virtual ~CNamedNode() = default;
  CNamedNode(const CNamedNode&) = delete;
  CNamedNode& operator=(const CNamedNode&) = delete;

  // Empty stands for "none".
  const std::string& GetName() const { return m_name; }
  const std::string& GetKey() const { return m_key; }
  const std::string& GetId() const { return m_id; }
  // Only before the node is in a list: a listed node's id never changes, so
  // readers need no lock.
  void SetId(std::string id) { m_id = std::move(id); }

 private:
  const std::string m_name;
  const std::string m_key;
  std::string m_id;
};

inline constexpr int kMaxNodeId = 32768;

template <class Node>
class CNamedList {
 public:
  using NodePtr = std::shared_ptr<Node>;
  using Nodes = std::vector<NodePtr>;

  CNamedList() : m_random(static_cast<unsigned>(platform::Now()) ^ std::random_device{}()) {}
  virtual ~CNamedList() = default;
  CNamedList(const CNamedList&) = delete;
  CNamedList& operator=(const CNamedList&) = delete;

  std::string FindIdByName(const std::string& name) const {
    NodePtr node = FindByName(name);
    return node ? node->GetId() : std::string();
  }

  // Adds the node unless one of its name exists. Returns the id of the node
  // now in the list: the new one, or the existing one when both keys are
  // equal (or both empty); "" when the keys differ.
  std::string Add(NodePtr node, int& existed) {
    existed = 0;
    std::unique_lock<std::shared_mutex> guard(m_nodesLock);
    for (const NodePtr& present : m_nodes) {
      if (EqualsFolded(present->GetName(), node->GetName())) {
        existed = 1;
        return present->GetKey() == node->GetKey() ? present->GetId() : std::string();
      }
    }
    std::string id;
    do {
      id = std::to_string(std::uniform_int_distribution<int>(1, kMaxNodeId)(m_random));
    } while (FindByIdUnlocked(id));
    node->SetId(id);
    Link(std::move(node));
    return id;
  }

  void Append(NodePtr node) {
    std::unique_lock<std::shared_mutex> guard(m_nodesLock);
    Link(std::move(node));
  }

  // Takes every node of that id out and hands them to the caller.
  Nodes RemoveById(const std::string& id) {
    return RemoveIf([&id](const Node& node) { return node.GetId() == id; });
  }

  template <class Predicate>
  Nodes RemoveIf(Predicate predicate) {
    Nodes removed;
    std::unique_lock<std::shared_mutex> guard(m_nodesLock);
    for (auto it = m_nodes.begin(); it != m_nodes.end();) {
      if (predicate(**it)) {
        Unindex(it->get());
        removed.push_back(std::move(*it));
        it = m_nodes.erase(it);
      } else {
        ++it;
      }
    }
    return removed;
  }

  // Takes that very node out (it stays alive for whoever holds it).
  Nodes Remove(const NodePtr& node) {
    return RemoveIf([&node](const Node& candidate) { return &candidate == node.get(); });
  }

  Nodes RemoveAll() {
    std::unique_lock<std::shared_mutex> guard(m_nodesLock);
    m_byId.clear();
    return std::exchange(m_nodes, Nodes());
  }

  NodePtr FindByName(const std::string& name) const {
    if (name.empty()) return nullptr;
    std::shared_lock<std::shared_mutex> guard(m_nodesLock);
    for (const NodePtr& node : m_nodes) {
      if (EqualsFolded(node->GetName(), name)) return node;
    }
    return nullptr;
  }

  NodePtr FindById(const std::string& id) const {
    std::shared_lock<std::shared_mutex> guard(m_nodesLock);
    return FindByIdUnlocked(id);
  }

  int Count() const {
    std::shared_lock<std::shared_mutex> guard(m_nodesLock);
    return static_cast<int>(m_nodes.size());
  }

  // The first node (in list order) of that id that the predicate accepts.
  template <class Predicate>
  NodePtr FindByIdIf(const std::string& id, Predicate predicate) const {
    std::shared_lock<std::shared_mutex> guard(m_nodesLock);
    const auto [first, last] = m_byId.equal_range(id);
    if (first == last) return nullptr;
    if (std::next(first) == last) return predicate(*first->second) ? first->second : nullptr;
    for (const NodePtr& node : m_nodes) {  // several of one id: keep list order
      if (node->GetId() == id && predicate(*node)) return node;
    }
    return nullptr;
  }

  // The first node the predicate accepts, searched in place.
  template <class Predicate>
  NodePtr FindIf(Predicate predicate) const {
    std::shared_lock<std::shared_mutex> guard(m_nodesLock);
    for (const NodePtr& node : m_nodes) {
      if (predicate(*node)) return node;
    }
    return nullptr;
  }

  // The nodes in list order, to walk without holding the container.
  Nodes Snapshot() const {
    std::shared_lock<std::shared_mutex> guard(m_nodesLock);
    return m_nodes;
  }

 private:
  NodePtr FindByIdUnlocked(const std::string& id) const {
    if (id.empty()) return nullptr;
    const auto [first, last] = m_byId.equal_range(id);
    if (first == last) return nullptr;
    if (std::next(first) == last) return first->second;
    for (const NodePtr& node : m_nodes) {  // several of one id: the first in list order
      if (node->GetId() == id) return node;
    }
    return nullptr;
  }

  void Link(NodePtr node) {
    m_byId.emplace(std::string_view(node->GetId()), node);
    m_nodes.push_back(std::move(node));
  }

  void Unindex(const Node* node) {
    const auto [first, last] = m_byId.equal_range(std::string_view(node->GetId()));
    for (auto it = first; it != last; ++it) {
      if (it->second.get() == node) {
        m_byId.erase(it);
        return;
      }
    }
  }

  mutable std::shared_mutex m_nodesLock;
  Nodes m_nodes;  // head first
  // Ids never change while a node is listed, so the index keys view them.
  std::unordered_multimap<std::string_view, NodePtr> m_byId;
  std::mt19937 m_random;
};
