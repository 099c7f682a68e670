// CNodeLink: how one pass of the server speaks to its peer nodes: this
// node's id, whether the link is on ([general] ifconnect), the resend list
// of the pass, and the process's outbox. When a transport carries the
// records (docs/cluster.md), each record leaves with the change of shared
// state it makes, and only requests wait in the resend list.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "nodelink/cluster_state.h"
#include "nodelink/message_list.h"
#include "nodelink/node_outbox.h"
#include "nodelink/node_record.h"

// What a record changes in the shared state, told when it is emitted.
using StateHook = std::function<StateOps(RecordLayout layout, const RecordValues& values)>;

class CNodeLink {
 public:
  CNodeLink(CNodeOutbox& outbox, bool on, std::string nodeId)
      : m_outbox(outbox), m_on(on), m_nodeId(std::move(nodeId)) {}

  bool On() const { return m_on; }
  const std::string& NodeId() const { return m_nodeId; }
  CMessageList& ResendList() { return m_resendList; }
  CNodeOutbox& Outbox() { return m_outbox; }

  // Set once, before any record is emitted from another thread.
  void SetStateHook(StateHook hook) { m_stateHook = std::move(hook); }
  // True while a transport drains the outbox.
  void SetCarried(bool carried) { m_carried = carried; }
  bool Carried() const { return m_carried; }

  // A numbered record: the next serial number, stored in the resend list
  // (only requests, while carried) and appended to the outbox. Returns its
  // serial number.
  int Emit(RecordLayout layout, const RecordValues& values);
  // A request sent again by a waiter whose answer is late; while carried,
  // the transport resends what the resend list holds by itself.
  void Resend(const std::string& record) {
    if (!m_carried) m_outbox.Append(record);
  }
  // An unnumbered record (PB, PR, PC), appended to the outbox only.
  void Write(RecordLayout layout, const RecordValues& values, std::string_view ctOverride = {});
  // A room line that takes its place in the room's order from Redis; its
  // node shows it when it reads it back with that place.
  void WriteInOrder(RecordLayout layout, const RecordValues& values, LineOrderRequest order);

  // Whether the transport reaches Redis now (set by its sending thread): a
  // line said meanwhile can take its place in the shared order.
  void SetUp(bool up) { m_up.store(up, std::memory_order_release); }
  bool Up() const { return m_up.load(std::memory_order_acquire); }
  // The housekeeping round: drop the outbox and the resend list.
  void Empty();

 private:
  CNodeOutbox& m_outbox;
  const bool m_on;
  const std::string m_nodeId;
  CMessageList m_resendList;
  StateHook m_stateHook;
  std::atomic<bool> m_carried{false};
  std::atomic<bool> m_up{false};
};
