// Unit tests that need settings: an in-memory table, swapped in for one test.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "foundation/settings.h"

class ScopedSettings {
 public:
  // Entries are "section:key" (lower case) and value.
  ScopedSettings(std::initializer_list<std::pair<std::string, std::string>> entries) {
    m_saved = std::move(g_settings);
    g_settings = std::make_unique<CSettingsTable>();
    for (const auto& [name, value] : entries) g_settings->Store(name, value);
  }
  ~ScopedSettings() { g_settings = std::move(m_saved); }

 private:
  std::unique_ptr<CSettingsTable> m_saved;
};
