// The settings that steer the scan and the report: the parameter record with
// the reals derived from it, and the meaning selection. run/parameters.cpp
// and run/selection.cpp read them; the database and report phases read the
// fields they need.
#pragma once

#include <cstdint>

namespace plix {

struct RunParameters {
  std::int32_t SYNONYMS = 0;
  std::int32_t WORDS = 0;
  std::int32_t DATE = 0;
  std::int32_t LEVEL = 0;
  std::int32_t S0 = 0;
  std::int32_t R = 0;
  float date_limit = 0;
  float s0_fraction = 0;
  float log_s0 = 0;
  float r_fraction = 0;
  float two_log_r = 0;
};

constexpr int MAX_SELECTION = 100;  // meaning numbers 1..100

struct MeaningSelection {
  char meaning_format[72];
  std::int32_t meaning_index[MAX_SELECTION + 1];  // meaning number -> selected index, 0 = not selected
  std::int32_t meaning_count = 0;
};

}  // namespace plix
