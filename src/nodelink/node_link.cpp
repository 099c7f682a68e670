#include "nodelink/node_link.h"

int CNodeLink::Emit(RecordLayout layout, const RecordValues& values) {
  const int serial = m_outbox.TakeSerialNumber();
  const std::string record = BuildNodeRecord(layout, values, serial);
  m_resendList.Add(serial, record);
  m_outbox.Append(record);
  return serial;
}

void CNodeLink::Write(RecordLayout layout, const RecordValues& values, std::string_view ctOverride) {
  m_outbox.Append(BuildNodeRecord(layout, values, -1, ctOverride));
}

void CNodeLink::Empty() {
  m_outbox.Drop();
  m_resendList.Clear();
}
