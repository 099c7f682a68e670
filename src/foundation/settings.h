// The settings: tolvann2.ini read into a 256-bucket table at the start of
// every pass of the main loop, and looked up by section and key from any
// thread.
#pragma once

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kIniLineLimit = 255;  // characters kept of one line
inline constexpr const char* kIniFileName = "tolvann2.ini";

class CSettingsTable {
 public:
  // Stores (or replaces) one entry; names are stored as given (lower case).
  void Store(const std::string& name, const std::string& value);
  // The stored value, or null. The pointer lives as long as the table.
  const char* Find(std::string_view name) const;

 private:
  struct Entry {
    std::string name;
    std::string value;
  };
  static unsigned char Bucket(std::string_view name);
  std::array<std::vector<Entry>, 256> m_buckets;
};

extern std::unique_ptr<CSettingsTable> g_settings;

// The configured text, or "" (never null). Section and key ignore case.
const char* GetSetting(const char* section, const char* key);
// The decimal value of the setting (atoi rules), 0 when missing.
int GetSettingInt(const char* section, const char* key);

// This node's id ([general] nodeid) and whether the node link is on
// ([general] ifconnect non-zero): read by every part of the chat.
std::string OwnNodeId();
bool NodeLinkOn();

// One scanned line of the file.
struct IniEntry {
  enum class Kind { kNothing, kSection, kKey };
  Kind kind = Kind::kNothing;
  std::string name;   // section name, or key
  std::string value;  // key value
};

// Reads one line: CR dropped, tabs expanded to multiples of 8, cut at 255
// characters (the rest comes as the next line). False at the end of the file
// with nothing read.
bool ReadTextLine(std::FILE* file, std::string& line);
IniEntry ReadIniEntry(std::string_view line);

using EnvironmentTable = std::map<std::string, std::string>;
EnvironmentTable ReadEnvironment();
// Replaces every $(NAME) by that variable's value (removed when unset).
std::string ExpandEnvironment(std::string_view value, const EnvironmentTable& environment);

// The working directory's file if it exists, else the first PATH entry that
// holds it; "" when none does.
std::string FindFileOnPath(const std::string& name);

// Builds the table from the file; an empty table when it is not found.
std::unique_ptr<CSettingsTable> LoadSettingsFile(const std::string& fileName);
