// CMetricsConnection: a connection to the metrics port. It reads one
// request, answers "GET /metrics" with the registry's figures (404 for any
// other path), and closes. The port listens on 127.0.0.1 alone, so its
// clients are the machine's own (a scraper, an operator's curl): they are
// never shed to make room, and a request head must come within a few seconds.
#pragma once

#include "foundation/metrics.h"
#include "http/request_parser.h"
#include "net/connection.h"

inline constexpr const char* kMetricsPath = "/metrics";
inline constexpr int kMetricsRequestSeconds = 5;  // for the request and its answer

class CMetricsConnection final : public net::CConnectionHandler {
 public:
  explicit CMetricsConnection(const CMetricRegistry& metrics) : m_metrics(metrics) {}

  void OnStart(net::CConnection& connection) override;
  void OnInput(net::CConnection& connection) override;
  void OnDrained(net::CConnection& connection) override;

 private:
  void Answer(net::CConnection& connection, const ParsedRequest& request);

  const CMetricRegistry& m_metrics;
  CRequestParser m_parser;
  bool m_answered = false;
};
