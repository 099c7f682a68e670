#include "foundation/metrics.h"

#include <charconv>
#include <cmath>

namespace {

// The largest integer a double holds exactly, written without an exponent.
constexpr double kLargestExactInteger = 9007199254740992.0;  // 2^53

std::string Escaped(const std::string& text, bool quoted) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '"' && quoted) {
      escaped += "\\\"";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string Number(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char digits[32];
  const std::to_chars_result written =
      std::trunc(value) == value && std::fabs(value) <= kLargestExactInteger
          ? std::to_chars(digits, digits + sizeof digits, static_cast<std::int64_t>(value))
          : std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, written.ptr);
}

const char* TypeName(MetricType type) { return type == MetricType::kCounter ? "counter" : "gauge"; }

}  // namespace

void CMetricRegistry::Add(const std::string& name, const std::string& help, const CCounter& counter,
                          MetricLabels labels) {
  Add(MetricType::kCounter, name, help, [&counter] { return static_cast<double>(counter.Value()); }, std::move(labels));
}

void CMetricRegistry::Add(const std::string& name, const std::string& help, const CGauge& gauge, MetricLabels labels) {
  Add(MetricType::kGauge, name, help, [&gauge] { return static_cast<double>(gauge.Value()); }, std::move(labels));
}

void CMetricRegistry::Add(MetricType type, const std::string& name, const std::string& help, Reading reading,
                          MetricLabels labels) {
  std::lock_guard<std::mutex> guard(m_lock);
  for (Family& family : m_families) {
    if (family.name == name) {
      family.samples.push_back(Sample{std::move(labels), std::move(reading)});
      return;
    }
  }
  m_families.push_back(Family{name, help, type, {Sample{std::move(labels), std::move(reading)}}});
}

std::string CMetricRegistry::Render() const {
  std::lock_guard<std::mutex> guard(m_lock);
  std::string text;
  for (const Family& family : m_families) {
    text += "# HELP " + family.name + " " + Escaped(family.help, false) + "\n";
    text += "# TYPE " + family.name + " " + TypeName(family.type) + "\n";
    for (const Sample& sample : family.samples) {
      text += family.name;
      if (!sample.labels.empty()) {
        text += '{';
        for (size_t index = 0; index < sample.labels.size(); ++index) {
          if (index > 0) text += ',';
          text += sample.labels[index].first + "=\"" + Escaped(sample.labels[index].second, true) + "\"";
        }
        text += '}';
      }
      text += " " + Number(sample.reading()) + "\n";
    }
  }
  return text;
}
