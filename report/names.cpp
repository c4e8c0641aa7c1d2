#include "report/names.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "textio/result_file.h"

namespace plix {

namespace {

bool kept(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c >= 0x80;
}

// Appends the safe form of `text` to name[0..n), at most `limit` bytes in
// all; returns the new length. A cut never splits a UTF-8 sequence.
int append_safe(char* name, int n, std::string_view text, int limit) {
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (kept(c)) {
      if (n == limit) {
        if ((c & 0xc0) == 0x80) {  // inside a sequence: drop its start too
          while (n > 0 && (static_cast<unsigned char>(name[n - 1]) & 0xc0) == 0x80) --n;
          if (n > 0 && static_cast<unsigned char>(name[n - 1]) >= 0xc0) --n;
        }
        break;
      }
      name[n++] = ch;
    } else if (n > 0 && name[n - 1] != '_') {
      if (n == limit) break;
      name[n++] = '_';
    }
  }
  while (n > 0 && name[n - 1] == '_') --n;
  return n;
}

}  // namespace

bool make_language_names(const LanguageOrigins& origins, int language_count, LanguageNames& names) {
  if (!names.name.grow_to(static_cast<std::size_t>(language_count))) return false;
  names.language_count = language_count;
  for (int l = 1; l <= language_count; ++l) {
    char* name = names.name[l];
    int n = append_safe(name, 0, header_name(origins, l), NAME_BASE_LENGTH);
    if (n == 0) n = append_safe(name, 0, language_code(origins, l), NAME_BASE_LENGTH);
    if (n == 0) {
      name[n++] = 'L';
      n += static_cast<int>(format_unsigned(name + n, static_cast<unsigned long long>(origins.header_record[l])));
    }
    name[n] = '\0';
  }
  // Equal names, in slot order within each: the second and later get a suffix.
  std::vector<int> order(static_cast<std::size_t>(language_count));
  for (int l = 1; l <= language_count; ++l) order[l - 1] = l;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return std::strcmp(names.name[a], names.name[b]) < 0;
  });
  // The first of each run of equal names keeps it and is never renamed.
  std::size_t first = 0, run = 1;
  for (std::size_t k = 1; k < order.size(); ++k) {
    char* name = names.name[order[k]];
    if (std::strcmp(name, names.name[order[first]]) != 0) {
      first = k;
      run = 1;
      continue;
    }
    ++run;
    std::size_t n = std::strlen(name);
    name[n++] = '_';
    name[n++] = '_';
    n += format_unsigned(name + n, run);
    name[n] = '\0';
  }
  return true;
}

std::string safe_name(std::string_view text) {
  std::string name(text.size(), '\0');
  name.resize(static_cast<std::size_t>(append_safe(name.data(), 0, text, static_cast<int>(text.size()))));
  return name;
}

void write_tsv_text(ResultFile& file, std::string_view text) {
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = begin;
    while (end < text.size() && text[end] != '\t' && text[end] != '\n' && text[end] != '\r') ++end;
    file.write(text.data() + begin, end - begin);
    if (end < text.size()) file.write(" ", 1);
    begin = end + 1;
  }
}

void write_names_key(ResultFile& file, const LanguageOrigins& origins, const LanguageNames& names) {
  file.write("name\theader\tcode\trecord\tpath\n");
  char number[24];
  for (int l = 1; l <= names.language_count; ++l) {
    file.write(language_name(names, l));
    file.write("\t", 1);
    write_tsv_text(file, header_name(origins, l));
    file.write("\t", 1);
    write_tsv_text(file, language_code(origins, l));
    file.write("\t", 1);
    file.write(number, format_unsigned(number, static_cast<unsigned long long>(origins.header_record[l])));
    file.write("\t", 1);
    write_tsv_text(file, classification_path(origins, l));
    file.write("\n", 1);
  }
}

}  // namespace plix
