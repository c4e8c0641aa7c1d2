#include "cldf/metadata.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cldf/csv.h"
#include "cldf/error.h"

namespace plix::cldf {

namespace {

using nlohmann::json;

bool iequal(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// The term after '#' of a CLDF ontology URL ("...terms.rdf#FormTable").
std::string term_of(const std::string& url) {
  auto hash = url.rfind('#');
  if (hash == std::string::npos || url.find("cldf.clld.org") == std::string::npos) return {};
  return url.substr(hash + 1);
}

std::string text_of(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end()) return {};
  if (it->is_string()) return it->get<std::string>();
  if (it->is_object()) {  // {"@value": ...} or a licence object with a URL
    for (const char* k : {"@value", "url", "@id", "name"})
      if (auto v = it->find(k); v != it->end() && v->is_string()) return v->get<std::string>();
  }
  return {};
}

char delimiter_of(const json& j, char fallback, const std::string& file) {
  auto d = j.find("dialect");
  if (d == j.end() || !d->is_object()) return fallback;
  auto v = d->find("delimiter");
  if (v == d->end()) return fallback;
  if (!v->is_string() || v->get<std::string>().size() != 1)
    throw InputError(file, 0, "the dialect's delimiter is not one character");
  return v->get<std::string>()[0];
}

// Tables that do not say their kind are known by the usual file names.
std::string kind_by_name(const std::string& url) {
  std::string base = url.substr(url.rfind('/') == std::string::npos ? 0 : url.rfind('/') + 1);
  if (base == "forms.csv") return "FormTable";
  if (base == "languages.csv") return "LanguageTable";
  if (base == "parameters.csv") return "ParameterTable";
  return {};
}

}  // namespace

const Column* Table::find(std::string_view property, std::string_view name) const {
  if (!property.empty())
    for (const Column& c : columns)
      if (c.property == property) return &c;
  for (const Column& c : columns)
    if (c.name == name) return &c;
  for (const Column& c : columns)
    if (iequal(c.name, name)) return &c;
  return nullptr;
}

const Table* Metadata::table(std::string_view kind) const {
  for (const Table& t : tables)
    if (t.kind == kind) return &t;
  return nullptr;
}

Metadata parse_metadata(std::string_view text, const std::string& file) {
  text = strip_bom(text);
  json doc;
  try {
    doc = json::parse(text.begin(), text.end());
  } catch (const json::parse_error& e) {
    std::size_t upto = std::min<std::size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
    long line = 1;
    for (std::size_t i = 0; i < upto; ++i)
      if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++line;
    std::string what = e.what();
    // nlohmann's text begins "[json.exception.parse_error.101] parse error at line 1, column 2: ".
    if (auto colon = what.find(": "); colon != std::string::npos) what = what.substr(colon + 2);
    throw InputError(file, line, "invalid JSON: " + what);
  } catch (const json::exception& e) {
    // A number too large for any type, for one.
    std::string what = e.what();
    if (auto close = what.find("] "); close != std::string::npos) what = what.substr(close + 2);
    throw InputError(file, 0, "invalid JSON: " + what);
  }
  if (!doc.is_object()) throw InputError(file, 0, "the metadata is not a JSON object");
  Metadata m;
  m.id = text_of(doc, "rdf:ID");
  m.title = text_of(doc, "dc:title");
  m.license = text_of(doc, "dc:license");
  m.conforms_to = term_of(text_of(doc, "dc:conformsTo"));
  char delimiter = delimiter_of(doc, ',', file);
  auto tables = doc.find("tables");
  if (tables == doc.end() || !tables->is_array())
    throw InputError(file, 0, "the metadata has no list of \"tables\"");
  for (const json& t : *tables) {
    if (!t.is_object()) throw InputError(file, 0, "an entry of \"tables\" is not an object");
    Table table;
    table.url = text_of(t, "url");
    if (table.url.empty()) throw InputError(file, 0, "a table without \"url\"");
    table.kind = term_of(text_of(t, "dc:conformsTo"));
    if (table.kind.empty()) table.kind = kind_by_name(table.url);
    table.delimiter = delimiter_of(t, delimiter, file);
    auto schema = t.find("tableSchema");
    if (schema != t.end() && schema->is_object()) {
      auto columns = schema->find("columns");
      if (columns != schema->end()) {
        if (!columns->is_array())
          throw InputError(file, 0, "the columns of table " + table.url + " are not a list");
        for (const json& c : *columns) {
          if (!c.is_object()) throw InputError(file, 0, "a column of table " + table.url + " is not an object");
          Column column;
          column.name = text_of(c, "name");
          if (column.name.empty()) {
            // CSVW: the title stands in for a missing name.
            if (auto titles = c.find("titles"); titles != c.end()) {
              if (titles->is_string()) column.name = titles->get<std::string>();
              else if (titles->is_array() && !titles->empty() && (*titles)[0].is_string())
                column.name = (*titles)[0].get<std::string>();
            }
          }
          column.property = term_of(text_of(c, "propertyUrl"));
          column.separator = text_of(c, "separator");
          table.columns.push_back(std::move(column));
        }
      }
    }
    m.tables.push_back(std::move(table));
  }
  return m;
}

}  // namespace plix::cldf
