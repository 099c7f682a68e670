#include "foundation/settings.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "foundation/file.h"
#include "foundation/text.h"

extern char** environ;

std::unique_ptr<CSettingsTable> g_settings;

unsigned char CSettingsTable::Bucket(std::string_view name) {
  unsigned char sum = 0;
  for (char c : name) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(c));
  return sum;
}

void CSettingsTable::Store(const std::string& name, const std::string& value) {
  std::vector<Entry>& bucket = m_buckets[Bucket(name)];
  for (Entry& entry : bucket) {
    if (entry.name == name) {
      entry.value = value;
      return;
    }
  }
  bucket.push_back(Entry{name, value});
}

const char* CSettingsTable::Find(std::string_view name) const {
  for (const Entry& entry : m_buckets[Bucket(name)]) {
    if (entry.name == name) return entry.value.c_str();
  }
  return nullptr;
}

namespace {

std::string EntryName(std::string_view section, std::string_view key) {
  std::string name = AsciiLower(section);
  if (!key.empty()) {
    name += ':';
    name += AsciiLower(key);
  }
  return name;
}

bool IsBlank(char c) { return c == ' '; }

std::string IniName(std::string_view text) {
  std::string name = AsciiLower(text);
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

// The value part of a key line (the text after '='), or nothing.
bool ReadIniValue(std::string_view text, std::string& value) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  text.remove_prefix(start);
  if (!text.empty() && (text[0] == '"' || text[0] == '\'')) {
    const char quote = text[0];
    const size_t close = text.find(quote, 1);
    if (close == 1) {  // exactly two quotes: the empty string
      value.clear();
      return true;
    }
    value = std::string(text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return !value.empty();
  }
  const size_t end = text.find_first_of(";#");
  value = std::string(text.substr(0, end));
  return !value.empty();
}

}  // namespace

const char* GetSetting(const char* section, const char* key) {
  if (!g_settings || section == nullptr || key == nullptr) return "";
  const char* value = g_settings->Find(EntryName(section, key));
  return value != nullptr ? value : "";
}

int GetSettingInt(const char* section, const char* key) { return std::atoi(GetSetting(section, key)); }

std::string OwnNodeId() { return GetSetting("general", "nodeid"); }
bool NodeLinkOn() { return GetSettingInt("general", "ifconnect") != 0; }

bool ReadTextLine(std::FILE* file, std::string& line) {
  line.clear();
  bool readSomething = false;
  while (line.size() < kIniLineLimit) {
    const int c = std::getc(file);
    if (c == EOF) return readSomething;
    readSomething = true;
    if (c == '\n' || c == 0x1A) return true;
    if (c == '\r') continue;
    if (c == '\t') {
      do {
        line.push_back(' ');
      } while (line.size() % 8 != 0 && line.size() < kIniLineLimit);
      continue;
    }
    line.push_back(static_cast<char>(c));
  }
  return true;
}

IniEntry ReadIniEntry(std::string_view line) {
  IniEntry entry;
  size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  line.remove_prefix(start);
  if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '!') return entry;
  if (line[0] == '[' && line.size() >= 2) {
    entry.kind = IniEntry::Kind::kSection;
    entry.name = IniName(line.substr(1, line.find(']') == std::string_view::npos ? std::string_view::npos
                                                                                : line.find(']') - 1));
    return entry;
  }
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return entry;
  std::string_view key = line.substr(0, equals);
  while (!key.empty() && std::strchr(" \t\r\n", key.back()) != nullptr) key.remove_suffix(1);
  if (key.empty() || !ReadIniValue(line.substr(equals + 1), entry.value)) return entry;
  entry.kind = IniEntry::Kind::kKey;
  entry.name = IniName(key);
  return entry;
}

EnvironmentTable ReadEnvironment() {
  EnvironmentTable table;
  for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
    const std::string_view text(*variable);
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    table[AsciiUpper(text.substr(0, equals))] = std::string(text.substr(equals + 1));
  }
  return table;
}

std::string ExpandEnvironment(std::string_view value, const EnvironmentTable& environment) {
  std::string result;
  size_t i = 0;
  while (i < value.size()) {
    if (value[i] == '$' && i + 1 < value.size() && value[i + 1] == '(') {
      const size_t close = value.find(')', i + 2);
      if (close != std::string_view::npos) {
        const auto found = environment.find(std::string(value.substr(i + 2, close - i - 2)));
        if (found != environment.end()) result += found->second;
        i = close + 1;
        continue;
      }
    }
    result += value[i++];
  }
  return result;
}

std::string FindFileOnPath(const std::string& name) {
  if (::access(name.c_str(), F_OK) == 0) {
    if (!name.empty() && name[0] == '/') return name;
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) != nullptr) return std::string(cwd) + "/" + name;
    return name;
  }
  const char* path = std::getenv("PATH");
  std::string_view entries = path != nullptr ? path : "";
  while (true) {
    const size_t colon = entries.find(':');
    const std::string_view entry = entries.substr(0, colon);
    std::string candidate(entry);
    if (!candidate.empty() && candidate.back() != '/') candidate += '/';
    candidate += name;
    if (::access(candidate.c_str(), F_OK) == 0) return candidate;
    if (colon == std::string_view::npos) break;
    entries.remove_prefix(colon + 1);
  }
  return "";
}

std::unique_ptr<CSettingsTable> LoadSettingsFile(const std::string& fileName) {
  auto table = std::make_unique<CSettingsTable>();
  const std::string path = FindFileOnPath(fileName);
  if (path.empty()) return table;
  UniqueFile file = OpenFile(path, "rb");
  if (!file) return table;
  const EnvironmentTable environment = ReadEnvironment();
  bool inSection = false;
  std::string section;
  std::string line;
  while (ReadTextLine(file.get(), line)) {
    const IniEntry entry = ReadIniEntry(line);
    if (entry.kind == IniEntry::Kind::kSection) {
      section = entry.name;
      inSection = true;
      table->Store(section, "");
    } else if (entry.kind == IniEntry::Kind::kKey && inSection) {
      table->Store(section + ":" + entry.name, ExpandEnvironment(entry.value, environment));
    }
  }
  return table;
}
