#include "foundation/text_buffer.h"

#include <cstring>
#include <new>

namespace {
bool IsTrailingBlank(char c) { return c == ' ' || c == '\n' || c == '\r'; }
}  // namespace

void CTextBuffer::SetGrowthStep(std::uint32_t step) {
  if (step != 0) m_growthStep = step;
}

const char* CTextBuffer::Append(const char* bytes, std::uint32_t count) {
  if (bytes == nullptr) return CStr();
  if (count == 0) count = static_cast<std::uint32_t>(std::strlen(bytes));
  if (count == 0) return CStr();
  if (static_cast<std::uint64_t>(m_length) + count >= m_capacity) {
    // Fixed-step growth: exactly what is needed plus one step.
    const std::uint32_t capacity = m_length + count + m_growthStep;
    CDetachedText grown(static_cast<char*>(std::malloc(capacity)));
    if (!grown) throw std::bad_alloc();
    if (m_length != 0) std::memcpy(grown.get(), m_data.get(), m_length);
    m_data = std::move(grown);
    m_capacity = capacity;
  }
  std::memcpy(m_data.get() + m_length, bytes, count);
  m_length += count;
  m_data.get()[m_length] = '\0';
  return CStr();
}

const char* CTextBuffer::Append(std::string_view bytes) {
  if (bytes.empty()) return CStr();
  return Append(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

void CTextBuffer::AssignBuffer(const CTextBuffer& other) {
  if (&other == this) return;
  Clear();
  Append(other.CStr(), other.Length());
}

void CTextBuffer::AssignString(const char* text) {
  Clear();
  AppendString(text);
}

CDetachedText CTextBuffer::Detach() {
  m_length = 0;
  m_capacity = 0;
  return std::move(m_data);
}

std::uint32_t CTextBuffer::Take(char* destination, std::uint32_t count) {
  const std::uint32_t moved = count < m_length ? count : m_length;
  if (moved == 0) return 0;
  if (destination != nullptr) std::memcpy(destination, m_data.get(), moved);
  if (moved < m_length) {
    std::memmove(m_data.get(), m_data.get() + moved, m_length - moved);
    m_length -= moved;
    m_data.get()[m_length] = '\0';
  } else {
    m_length = 0;
    m_data.get()[0] = '\0';  // no stale line end may be found later
  }
  return moved;
}

int CTextBuffer::TakeLine(char* destination, int size) {
  if (destination == nullptr || size <= 1 || !m_data) return -1;
  char* data = m_data.get();
  const char* lineFeed = std::strchr(data, '\n');
  if (lineFeed == nullptr) return -1;
  const int lineLength = static_cast<int>(lineFeed - data) + 1;
  if (lineLength <= size) {
    // Blank out the line end and the blanks before it, so the destination
    // reads as the bare line; a line of blanks only ends at the first byte.
    for (int end = lineLength; end > 0 && IsTrailingBlank(data[end - 1]); --end) data[end - 1] = '\0';
    return static_cast<int>(Take(destination, static_cast<std::uint32_t>(lineLength)));
  }
  return static_cast<int>(Take(destination, static_cast<std::uint32_t>(size)));
}
