// The form and URL decoders on arbitrary bytes: the input is a path and a
// query (split at the first NUL byte, as a C string would end).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "fuzz/fuzz_check.h"
#include "http/request_form.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string path = input.substr(0, nul);
  const std::string query = nul == std::string::npos ? std::string() : input.substr(nul + 1);

  // What a request hands on is a C string: it ends at the first NUL.
  const std::string cString = query.c_str();
  const std::string decoded = DecodeUrl(cString);
  FUZZ_CHECK(decoded.size() <= cString.size());
  FUZZ_CHECK(decoded.find('\0') == std::string::npos);  // a decoded NUL ends the text
  // A decoded CR is dropped: only the raw ones remain.
  FUZZ_CHECK(std::count(decoded.begin(), decoded.end(), '\r') <= std::count(cString.begin(), cString.end(), '\r'));

  CRequestForm form;
  form.Parse(path.c_str(), query.c_str());
  FUZZ_CHECK(form.Path() == path);
  FUZZ_CHECK(form.Query() == cString);
  FUZZ_CHECK(form.Fields() == SplitFields(cString));
  // A name gives the value of its first field ("" when that field has no '=').
  std::map<std::string, std::string> first;
  for (const std::string& field : form.Fields()) {
    const size_t equals = field.find('=');
    const std::string name = field.substr(0, equals);
    first.emplace(name, equals == std::string::npos ? std::string() : field.substr(equals + 1));
  }
  for (const auto& [name, value] : first) FUZZ_CHECK(form.FindField(name) == value);
  return 0;
}
