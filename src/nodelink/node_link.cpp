#include "nodelink/node_link.h"

int CNodeLink::Emit(RecordLayout layout, const RecordValues& values) {
  const int serial = m_outbox.TakeSerialNumber();
  std::string record = BuildNodeRecord(layout, values, serial);
  if (!m_carried) {
    m_resendList.Add(serial, record);
    m_outbox.Append(record);
    return serial;
  }
  // The stream keeps what was sent; only a request waits for its answer here.
  if (LayoutIsRequest(layout)) m_resendList.Add(serial, record);
  m_outbox.Append(std::move(record), m_stateHook ? m_stateHook(layout, values) : StateOps());
  return serial;
}

void CNodeLink::Write(RecordLayout layout, const RecordValues& values, std::string_view ctOverride) {
  m_outbox.Append(BuildNodeRecord(layout, values, -1, ctOverride));
}

void CNodeLink::Empty() {
  m_outbox.Drop();
  m_resendList.Clear();
}
