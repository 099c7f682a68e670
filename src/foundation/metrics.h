// Metrics: figures of the running server for a scraper (Prometheus), in its
// text exposition format 0.0.4.
//
// A figure is either a counter or gauge that the code bumps where things
// happen (CCounter, CGauge: a relaxed atomic each, so the path of a chat
// line never takes a lock for them), or a reading taken at each scrape from
// figures that are kept anyway (the admission's counts, the account work's
// queue). Each is added to a CMetricRegistry in one line, under a name, a
// help text and labels; samples of one name with different labels make one
// family. The registry itself locks only to add and to render.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// A count that only grows.
class CCounter {
 public:
  void Add(std::uint64_t amount = 1) { m_value.fetch_add(amount, std::memory_order_relaxed); }
  std::uint64_t Value() const { return m_value.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::uint64_t> m_value{0};
};

// A level that goes up and down (things open now).
class CGauge {
 public:
  void Add(std::int64_t amount = 1) { m_value.fetch_add(amount, std::memory_order_relaxed); }
  void Subtract(std::int64_t amount = 1) { m_value.fetch_sub(amount, std::memory_order_relaxed); }
  std::int64_t Value() const { return m_value.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::int64_t> m_value{0};
};

enum class MetricType { kCounter, kGauge };
// Label names and values, in the order they are written.
using MetricLabels = std::vector<std::pair<std::string, std::string>>;

class CMetricRegistry {
 public:
  // Called at each scrape, on the scraping thread: must be thread-safe.
  using Reading = std::function<double()>;

  // The counter or gauge must outlive the registry's scrapes. Counter names
  // end in "_total". A family's help and type are those of its first sample.
  void Add(const std::string& name, const std::string& help, const CCounter& counter, MetricLabels labels = {});
  void Add(const std::string& name, const std::string& help, const CGauge& gauge, MetricLabels labels = {});
  void Add(MetricType type, const std::string& name, const std::string& help, Reading reading,
           MetricLabels labels = {});

  // Every family in the order its first sample was added: "# HELP", "# TYPE"
  // and one line per sample.
  std::string Render() const;

 private:
  struct Sample {
    MetricLabels labels;
    Reading reading;
  };
  struct Family {
    std::string name;
    std::string help;
    MetricType type;
    std::vector<Sample> samples;
  };

  mutable std::mutex m_lock;     // adding against rendering; never on a hot path
  std::vector<Family> m_families;  // guarded by m_lock
};

// The Content-Type of Render()'s text.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";
