// The JSON metadata of a CLDF dataset: its tables, their kinds and columns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plix::cldf {

struct Column {
  std::string name;       // the CSV header
  std::string property;   // the CLDF term of its propertyUrl ("languageReference"), or empty
  std::string separator;  // of a list-valued column, or empty
};

struct Table {
  std::string kind;  // "FormTable", "LanguageTable", "ParameterTable", ... or empty
  std::string url;   // file name, relative to the metadata file
  std::vector<Column> columns;
  char delimiter = ',';
  // The column with that CLDF term, else the one with that name (exact, then
  // ignoring letter case); nullptr when there is none.
  const Column* find(std::string_view property, std::string_view name) const;
};

struct Metadata {
  std::string id;  // rdf:ID, or empty
  std::string title;
  std::string license;
  std::string conforms_to;  // the module, e.g. "Wordlist"
  std::vector<Table> tables;
  const Table* table(std::string_view kind) const;
};

// Throws InputError naming `file` (and the line of a JSON syntax error).
Metadata parse_metadata(std::string_view text, const std::string& file);

}  // namespace plix::cldf
