// What the metrics port shows: each figure in one line, read where it is
// kept (docs/metrics.md lists them).
#include <cmath>

#include "chat/chat_core.h"
#include "platform/clock.h"
#include "server/server.h"

namespace {
double Seconds(std::int64_t milliseconds) { return static_cast<double>(milliseconds) / 1000.0; }
}  // namespace

void CServer::AddMetrics() {
  CMetricRegistry& metrics = m_metrics;
  constexpr MetricType kCounter = MetricType::kCounter;
  constexpr MetricType kGauge = MetricType::kGauge;

  const net::CAdmission& admission = *m_admission;
  metrics.Add(kGauge, "tolvan_connections_open", "HTTP connections and message streams open",
              [&admission] { return admission.Counts().open; });
  metrics.Add(kCounter, "tolvan_connections_accepted_total", "Connections taken in",
              [&admission] { return admission.Counts().accepted; });
  metrics.Add(kCounter, "tolvan_connections_refused_total", "Connections answered 503 and closed at accept, by reason",
              [&admission] { return admission.Counts().refusedAtCeiling; }, {{"reason", "ceiling"}});
  metrics.Add(kCounter, "tolvan_connections_refused_total", "",
              [&admission] { return admission.Counts().refusedPerAddress; }, {{"reason", "per_address"}});
  metrics.Add(kCounter, "tolvan_connections_shed_total",
              "Connections without a request closed at the ceiling to make room for a newcomer",
              [&admission] { return admission.Counts().shed; });

  m_delivery.AddMetrics(metrics);

  CChatCore& core = m_core;
  metrics.Add(kGauge, "tolvan_rooms", "Rooms", [&core] { return core.RoomCount(); });
  metrics.Add(kGauge, "tolvan_sessions", "Logged-on users (sessions), of this node and of others",
              [&core] { return core.SessionCount(); });
  metrics.Add(kCounter, "tolvan_lines_refused_total", "Lines and pages refused by the line rate of their speaker",
              [&core] { return static_cast<double>(core.LinesRefused()); });

  const CAccountWork& work = *m_accountWork;
  metrics.Add(kGauge, "tolvan_account_work_queued", "Logons, registrations and password changes waiting for a thread",
              [&work] { return work.Figures().queued; });
  metrics.Add(kGauge, "tolvan_account_work_queue_limit", "The bound of the account work's queue now",
              [&work] { return work.Figures().queueLimit; });
  metrics.Add(kCounter, "tolvan_account_work_refused_total", "Account work answered busy.html at once, by reason",
              [&work] { return static_cast<double>(work.Figures().refusedQueueFull); }, {{"reason", "queue_full"}});
  metrics.Add(kCounter, "tolvan_account_work_refused_total", "",
              [&work] { return static_cast<double>(work.Figures().refusedAddressCap); }, {{"reason", "per_address"}});
  metrics.Add(kCounter, "tolvan_account_work_dropped_total", "Account work dropped unrun because its client had gone",
              [&work] { return static_cast<double>(work.Figures().droppedClientGone); });
  metrics.Add(kCounter, "tolvan_account_work_done_total", "Account work run",
              [&work] { return static_cast<double>(work.Figures().done); });
  metrics.Add(kCounter, "tolvan_account_work_seconds_total", "Time the account work took, mostly password hashing",
              [&work] { return work.Figures().workSeconds; });
  const CRegistrationRate& registrations = m_registrations;
  metrics.Add(kCounter, "tolvan_registrations_refused_total",
              "Registrations refused by the cap of registrations per address and minute",
              [&registrations] { return static_cast<double>(registrations.Refused()); });

  if (!core.NodeLink().On()) return;
  CNodeOutbox& outbox = core.NodeLink().Outbox();
  metrics.Add(kGauge, "tolvan_nodelink_outbox_records", "Node records waiting to be sent", [&outbox] {
    const std::optional<size_t> length = outbox.Length();
    return length ? static_cast<double>(*length) : NAN;
  });
  if (!m_nodeTransport) return;
  const LinkFigures& link = m_nodeTransport->Figures();
  const std::pair<const char*, const std::atomic<bool>*> sides[] = {
      {"writer", &link.writerConnected}, {"reader", &link.readerConnected}, {"answerer", &link.answererConnected}};
  for (const auto& [side, connected] : sides) {
    metrics.Add(kGauge, "tolvan_nodelink_connected", "Whether each thread of the node link is connected to Redis",
                [connected] { return connected->load(std::memory_order_relaxed) ? 1.0 : 0.0; }, {{"side", side}});
  }
  metrics.Add("tolvan_nodelink_records_read_total", "Entries of the event stream read", link.recordsRead);
  metrics.Add(kGauge, "tolvan_nodelink_read_lag_seconds",
              "How old the last entry read was when it was read (its stream id's time against this node's clock)",
              [&link] { return Seconds(link.readLagMs.load(std::memory_order_relaxed)); });
  metrics.Add(kGauge, "tolvan_nodelink_seconds_since_read", "Time since the last entry was read (NaN before the first)",
              [&link] {
                const std::int64_t last = link.lastReadMs.load(std::memory_order_relaxed);
                return last == 0 ? NAN : Seconds(platform::MonotonicMs() - last);
              });
}
