#include "nodelink/node_link.h"

int CNodeLink::Emit(RecordLayout layout, const RecordValues& values) {
  const int serial = m_outbox.TakeSerialNumber();
  std::string record = BuildNodeRecord(layout, values, serial);
  // While the link is carried the stream keeps what was sent, and only a
  // request waits here for its answer.
  if (!m_carried || LayoutIsRequest(layout)) m_resendList.Add(serial, record);
  m_outbox.Append(std::move(record), m_carried && m_stateHook ? m_stateHook(layout, values) : StateOps());
  return serial;
}

void CNodeLink::Write(RecordLayout layout, const RecordValues& values, std::string_view ctOverride) {
  m_outbox.Append(BuildNodeRecord(layout, values, -1, ctOverride));
}

void CNodeLink::WriteInOrder(RecordLayout layout, const RecordValues& values, LineOrderRequest order) {
  m_outbox.Append(OutboxEntry{BuildNodeRecord(layout, values, -1), StateOps(), std::move(order)});
}

void CNodeLink::Empty() {
  m_outbox.Drop();
  m_resendList.Clear();
}
