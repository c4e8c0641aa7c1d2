// The classification path of every language, from the sources the options
// and the dataset offer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cldf/dataset.h"
#include "cldf/glottolog.h"

namespace plix::cldf {

// Per language: Glottolog by Glottocode, else the --classification column,
// else Family and SubGroup; a dataset with none of these is one group named
// after itself. Sets Language::path and Language::classified.
void classify(Dataset& d, const Options& o, const Glottolog* glottolog);

}  // namespace plix::cldf
