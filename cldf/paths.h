// The classification path of every language, from the sources the options
// and the dataset offer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cldf/dataset.h"
#include "cldf/glottolog.h"

namespace plix::cldf {

// Per language: Glottolog by Glottocode (directly or through its parent
// chain), else the --classification column, else Family and SubGroup; a
// dataset with none of these is one group named after itself. Sets the
// path, whether it is classified, its source, and a note where the first
// source asked gave none or gave it through the parent chain.
void classify(Dataset& d, const Options& o, const Glottolog* glottolog);

// The first source asked for a path, given the options and the dataset.
PathSource first_source(const Dataset& d, const Options& o, const Glottolog* glottolog);

// Marks proto-languages and reconstructions (Language::proto): a Glottocode
// of family level, a name that begins with "Proto-", "Proto " or '*', or a
// --figure cell that says "proto" or "reconstruction".
void find_reconstructions(Dataset& d, const Options& o, const Glottolog* glottolog);

const char* source_name(PathSource s);

}  // namespace plix::cldf
