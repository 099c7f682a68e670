// CTextBuffer: the one byte string of the system. Every page, response, chat
// line, node record and receive buffer is built in one. It grows by a fixed
// step (not by doubling), always keeps a NUL after its last byte, and can hand
// its storage to the caller.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};
// Storage handed out by Detach; freed with the buffer's allocator.
using CDetachedText = std::unique_ptr<char, FreeDeleter>;

class CTextBuffer {
 public:
  static constexpr std::uint32_t kDefaultGrowthStep = 1024;

  CTextBuffer() = default;
  virtual ~CTextBuffer() = default;
  CTextBuffer(const CTextBuffer&) = delete;
  CTextBuffer& operator=(const CTextBuffer&) = delete;

  void SetGrowthStep(std::uint32_t step);
  std::uint32_t GrowthStep() const { return m_growthStep; }

  // Appends count bytes; a count of 0 means "up to the first NUL". Null bytes
  // or an empty text change nothing. Returns the data pointer.
  const char* Append(const char* bytes, std::uint32_t count);
  const char* Append(std::string_view bytes);
  void AppendString(const char* text) { Append(text, 0); }
  void AppendChar(char byte) { Append(&byte, 1); }
  // Appends each text in turn as AppendString would.
  template <class... Texts>
  const char* AppendMany(const Texts&... texts) {
    (AppendPiece(texts), ...);
    return CStr();
  }
  void AssignBuffer(const CTextBuffer& other);
  void AssignString(const char* text);

  // Null until something was stored.
  const char* CStr() const { return m_data.get(); }
  std::uint32_t Length() const { return m_length; }
  std::uint32_t Capacity() const { return m_capacity; }
  bool Empty() const { return m_length == 0; }
  std::string_view View() const { return m_data ? std::string_view(m_data.get(), m_length) : std::string_view(); }
  std::string Str() const { return std::string(View()); }

  void Clear() { m_length = 0; }
  void Swap(CTextBuffer& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_length, other.m_length);
    std::swap(m_growthStep, other.m_growthStep);
  }
  CDetachedText Detach();

  // Moves the first line (through its line feed) to destination; see the
  // .cpp for the exact trimming. -1 when there is no complete line.
  int TakeLine(char* destination, int size);
  // Moves up to count bytes from the front to destination (may be null).
  std::uint32_t Take(char* destination, std::uint32_t count);

 private:
  void AppendPiece(const char* text) { AppendString(text); }
  void AppendPiece(std::string_view text) { Append(text); }
  void AppendPiece(const std::string& text) { Append(std::string_view(text)); }

  CDetachedText m_data;
  std::uint32_t m_capacity = 0;
  std::uint32_t m_length = 0;
  std::uint32_t m_growthStep = kDefaultGrowthStep;
};
