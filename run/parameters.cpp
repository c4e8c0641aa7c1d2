#include "run/parameters.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "textio/textio.h"

namespace plix {

void read_run_parameters(TextIO& io, RunParameters& p, std::int64_t& record_number) {
  set_read_place(io, {.record = "the parameter record"});
  begin_read(io, "(12I6)");
  read_integer(io, p.SYNONYMS);
  read_integer(io, p.WORDS);
  read_integer(io, p.DATE);
  read_integer(io, p.LEVEL);
  read_integer(io, p.S0);
  read_integer(io, p.R);
  end_read(io);
  ++record_number;
  derive_run_parameters(io, p);
}

void derive_run_parameters(TextIO& io, RunParameters& p) {
  if (p.SYNONYMS == 0) p.SYNONYMS = 1;
  // The store keeps two synonyms per meaning; other counts cannot be honoured.
  if (p.SYNONYMS < 0 || p.SYNONYMS > 2) {
    char message[256];
    std::snprintf(message, sizeof message,
                  "%s: SYNONYMS is %d; it must be 0, 1 or 2 "
                  "(at most two synonyms per meaning are kept)",
                  last_record_place(io).c_str(), static_cast<int>(p.SYNONYMS));
    fatal_error(io, message);
  }

  // Products in double precision of the single-precision 0.01, each stored
  // rounded to single; the logarithms are taken of the unrounded products.
  const double hundredth = static_cast<double>(0.01f);
  p.date_limit = static_cast<float>(-static_cast<std::int64_t>(p.DATE));
  const double s0 = static_cast<double>(p.S0) * hundredth;
  p.s0_fraction = static_cast<float>(s0);
  p.log_s0 = static_cast<float>(
      checked_log10(io, s0, "S0 is " + std::to_string(p.S0) + " in " + last_record_place(io)));
  const double r = static_cast<double>(p.R) * hundredth;
  p.r_fraction = static_cast<float>(r);
  p.two_log_r = static_cast<float>(
      checked_log10(io, r, "R is " + std::to_string(p.R) + " in " + last_record_place(io)) * 2.0);
}

void write_header_lines(TextIO& io, const RunParameters& p) {
  begin_write(io, "(I2,' SYNONYMS,',I3,' WORDS, DATE >',I5,', LEVEL',I3)");
  write_integer(io, p.SYNONYMS);
  write_integer(io, p.WORDS);
  write_integer(io, p.DATE);
  write_integer(io, p.LEVEL);
  end_write(io);
  begin_write(io, "(' S0 =',I3,'%, R =',F4.2)");
  write_integer(io, p.S0);
  write_real(io, p.r_fraction);
  end_write(io);
}

}  // namespace plix
