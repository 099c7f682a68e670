// The decoded form of one request: the path, the raw query (or POST body)
// and its fields, each a decoded "name=value" piece.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CRequestForm {
 public:
  // A null argument leaves that part absent.
  void Parse(const char* path, const char* query);
  void SetPath(const char* path);
  void SetQuery(const char* query);
  // A field given by value rather than read from a query (the JSON API
  // builds the classic forms so): like a decoded one, a CR is dropped and a
  // NUL ends the value.
  void AddField(std::string_view name, std::string_view value);

  const std::optional<std::string>& Path() const { return m_path; }
  const std::optional<std::string>& Query() const { return m_query; }
  const std::vector<std::string>& Fields() const { return m_fields; }

  // The value of the first field of exactly that name; "" when there is none
  // or that field has no '='. Never null.
  const std::string& FindField(std::string_view name) const;
  // A field of that name is there (with or without a value).
  bool HasField(std::string_view name) const;

 private:
  std::optional<std::string> m_path;
  std::optional<std::string> m_query;
  std::vector<std::string> m_fields;
  struct NamedValue {
    std::string name;
    std::string value;  // "" when the piece has no '='
  };
  std::vector<NamedValue> m_values;
};

// Splits a query at '&' and ';' (one leading '&' skipped) and decodes each
// piece; empty pieces stay as empty strings.
std::vector<std::string> SplitFields(std::string_view text);
// '+' is a blank, %XY a byte (non-hex digits count 0), a decoded CR is
// dropped, a '%' without two characters after it ends the text, and a
// decoded NUL ends it too.
std::string DecodeUrl(std::string_view text);
