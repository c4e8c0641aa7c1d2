// plix62c-cldf: writes the plix62c input stream of a CLDF Wordlist on
// standard output and a summary on standard error.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cldf/concepts.h"
#include "cldf/csv.h"
#include "cldf/error.h"
#include "cldf/importer.h"
#include "cldf/platform.h"

#ifndef PLIX_VERSION
#define PLIX_VERSION "0"
#endif

namespace {

namespace fs = std::filesystem;

// The shipped meaning table: beside the installed program
// (../share/plix62c), in the install prefix it was built for, or in the
// source tree of a build.
std::string shipped_concepts(const char* argv0) {
  std::vector<fs::path> where;
  std::error_code ec;
  const fs::path exe = plix::cldf::executable_path(argv0);
  if (!exe.empty()) where.push_back(exe.parent_path().parent_path() / "share" / "plix62c" / "concepts-100.tsv");
#ifdef PLIX_CLDF_DATADIR
  where.push_back(fs::path(PLIX_CLDF_DATADIR) / "concepts-100.tsv");
#endif
#ifdef PLIX_CLDF_SOURCEDIR
  where.push_back(fs::path(PLIX_CLDF_SOURCEDIR) / "concepts-100.tsv");
#endif
  for (const fs::path& p : where)
    if (fs::is_regular_file(p, ec)) return p.string();
  return {};
}

bool write_all(std::FILE* f, const std::string& s) {
  return std::fwrite(s.data(), 1, s.size(), f) == s.size() && std::fflush(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using plix::cldf::InputError;
  plix::cldf::Options o;
  std::string concepts_file, symbols_file, meanings;
  bool quiet = false;
  CLI::App app{"Writes the plix62c input stream of a CLDF Wordlist on standard output.", "plix62c-cldf"};
  app.set_version_flag("--version", std::string("plix62c-cldf ") + PLIX_VERSION);
  app.add_option("DATASET", o.dataset, "metadata file, dataset folder (or its cldf/ folder), or a forms.csv")->required();
  app.add_option("--concepts", concepts_file, "meaning table (number, gloss, concept IDs; tab-separated)");
  app.add_option("--meanings", meanings, "meaning numbers to select, comma-separated (at most 40)");
  app.add_option("--meaning-count", o.meaning_count, "select the N meanings attested by most languages")
      ->check(CLI::Range(1, 40))->default_val(40);
  app.add_option("--synonyms", o.synonyms, "SYNONYMS: synonyms kept per meaning")->check(CLI::Range(1, 2))->default_val(1);
  app.add_option("--words", o.words, "WORDS: least number of attested meanings (default 70 % of the selection)")
      ->check(CLI::Range(0, 40));
  app.add_option("--date", o.date, "DATE")->check(CLI::Range(-99999, 999999))->default_val(1000);
  app.add_option("--level", o.level, "LEVEL: classification depth of the dated nodes")->check(CLI::Range(0, 99))->default_val(1);
  app.add_option("--s0", o.s0, "S0: similarity at time zero, percent")->check(CLI::Range(1, 100))->default_val(92);
  app.add_option("--r", o.r, "R: retention rate, percent")->check(CLI::Range(1, 100))->default_val(72);
  app.add_flag("--keep-loans", o.keep_loans, "keep forms marked as loans");
  std::string scheme = "none";
  app.add_option("--sound-classes", scheme, "write each sound as its class: none (default), dolgopolsky, manner-place")
      ->check(CLI::IsMember({"none", "dolgopolsky", "manner-place"}));
  app.add_option("--glottolog", o.glottolog, "glottolog-cldf checkout for the classification paths");
  std::string classification;
  app.add_option("--classification", classification, "LanguageTable column with the path, COLUMN[:SEP] (SEP default ',')");
  app.add_flag("--drop-unclassified", o.drop_unclassified, "leave out languages without classification");
  app.add_flag("--keep-proto", o.keep_proto, "keep proto-languages and reconstructions (left out by default)");
  app.add_option("--figure", o.figure, "LanguageTable column with the admission figure (default: 0)");
  app.add_option("--symbols", symbols_file, "write the symbol table (symbol, sounds, count) to this file");
  app.add_flag("-q,--quiet", quiet, "no summary on standard error");
  try {
    app.parse(argc, argv);
    if (!meanings.empty()) {
      std::stringstream ss(meanings);
      std::string item;
      while (std::getline(ss, item, ',')) {
        std::size_t used = 0;
        int m = -1;
        try {
          m = std::stoi(item, &used);
        } catch (const std::exception&) {
        }
        if (used != item.size() || m < 1 || m > 100)
          throw CLI::ValidationError("--meanings", "'" + item + "' is not a meaning number 1..100");
        for (int seen : o.meanings)
          if (seen == m) throw CLI::ValidationError("--meanings", std::to_string(m) + " listed twice");
        o.meanings.push_back(m);
      }
      if (o.meanings.empty() || o.meanings.size() > 40)
        throw CLI::ValidationError("--meanings", "give 1 to 40 meaning numbers");
    }
    plix::cldf::parse_scheme(scheme, o.sound_classes);
    if (!classification.empty()) {
      auto colon = classification.find(':');
      o.classification = classification.substr(0, colon);
      if (colon != std::string::npos) o.classification_separator = classification.substr(colon + 1);
      if (o.classification.empty() || o.classification_separator.empty())
        throw CLI::ValidationError("--classification", "give COLUMN or COLUMN:SEP");
    }
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  }

  try {
    o.own_concepts = !concepts_file.empty();
    if (concepts_file.empty()) {
      concepts_file = shipped_concepts(argv[0]);
      if (concepts_file.empty()) {
        std::fprintf(stderr, "plix62c-cldf: the meaning table concepts-100.tsv is not installed; give --concepts FILE\n");
        return 1;
      }
    }
    plix::cldf::ConceptTable concepts =
        plix::cldf::parse_concepts(plix::cldf::read_file(concepts_file), concepts_file);
    plix::cldf::Result r = plix::cldf::import_dataset(o, concepts);
    if (!symbols_file.empty()) {
      std::ofstream out(symbols_file, std::ios::binary);
      out << r.symbols;
      out.flush();
      if (!out) throw InputError(symbols_file, 0, std::string("cannot write: ") + std::strerror(errno));
    }
    if (!write_all(stdout, r.stream)) {
      std::fprintf(stderr, "plix62c-cldf: cannot write standard output: %s\n", std::strerror(errno));
      return 1;
    }
    if (!quiet) write_all(stderr, r.summary);
    return 0;
  } catch (const InputError& e) {
    std::fprintf(stderr, "plix62c-cldf: %s\n", e.message().c_str());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "plix62c-cldf: out of memory\n");
    return 1;
  }
}
