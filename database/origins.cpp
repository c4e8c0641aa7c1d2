#include "database/origins.h"

#include <cstring>

namespace plix {

std::string_view header_name_of(const char* line) {
  const void* bar = std::memchr(line, '|', RECORD_WIDTH);
  std::size_t end = bar ? static_cast<std::size_t>(static_cast<const char*>(bar) - line) : RECORD_WIDTH;
  std::size_t begin = 0;
  while (begin < end && line[begin] == ' ') ++begin;
  while (end > begin && line[end - 1] == ' ') --end;
  return {line + begin, end - begin};
}

std::string_view classification_path(const LanguageOrigins& origins, int slot) {
  const char* line = origins.header[slot];
  const void* bar = std::memchr(line, '|', RECORD_WIDTH);
  if (bar == nullptr) return {};
  const char* begin = static_cast<const char*>(bar) + 1;
  const char* limit = line + RECORD_WIDTH;
  const void* at = std::memchr(begin, '@', static_cast<std::size_t>(limit - begin));
  const char* end = at ? static_cast<const char*>(at) : limit;
  return {begin, static_cast<std::size_t>(end - begin)};
}

void grow_origins(TextIO& io, LanguageOrigins& origins, int slot) {
  const auto last = static_cast<std::size_t>(slot);
  origins.header.grow_to(io, last);
  origins.code.grow_to(io, last);
  origins.header_record.grow_to(io, last);
}

}  // namespace plix
