// The one error of the importer: bad input, reported with the file and, where
// known, the line it was found on.
#pragma once

#include <stdexcept>
#include <string>

namespace plix::cldf {

class InputError : public std::runtime_error {
 public:
  InputError(std::string file, long line, const std::string& what)
      : std::runtime_error(what), file_(std::move(file)), line_(line) {}
  const std::string& file() const { return file_; }
  long line() const { return line_; }  // 0: the file as a whole
  // "FILE:record: message" (or "FILE: message").
  std::string message() const {
    std::string m = file_;
    if (line_ > 0) m += ":" + std::to_string(line_);
    return m + ": " + what();
  }

 private:
  std::string file_;
  long line_;
};

}  // namespace plix::cldf
