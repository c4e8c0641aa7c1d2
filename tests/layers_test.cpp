// The layer order of the program's folders: a file includes only headers of
// its own layer and of the layers below it. The order is written here once;
// the README states it and CMake links the layer libraries in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Lowest first; folders of one entry form one layer.
const std::vector<std::vector<std::string>> kLayers = {
    {"textio"}, {"database"}, {"distance"}, {"report"}, {"run", "cldf"}};

// The folder of a project include `#include "folder/..."`, or "" when the
// line is none.
std::string included_folder(const std::string& line) {
  std::size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return {};
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return {};
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || line[i] != '"') return {};
  const std::size_t slash = line.find('/', i + 1);
  const std::size_t quote = line.find('"', i + 1);
  if (slash == std::string::npos || quote == std::string::npos || slash > quote) return {};
  return line.substr(i + 1, slash - i - 1);
}

int layer_of(const std::string& folder) {
  for (std::size_t i = 0; i < kLayers.size(); ++i)
    for (const std::string& f : kLayers[i])
      if (f == folder) return static_cast<int>(i);
  return -1;
}

TEST(Layers, NoFileIncludesAHeaderOfAHigherLayer) {
  namespace fs = std::filesystem;
  const fs::path root = PLIX_SOURCE_DIR;
  int files = 0;
  for (const auto& layer : kLayers) {
    for (const std::string& folder : layer) {
      if (!fs::is_directory(root / folder)) continue;
      for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".h" && ext != ".cpp") continue;
        ++files;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
          const std::string included = included_folder(line);
          if (included.empty()) continue;
          const int target = layer_of(included);
          EXPECT_NE(target, -1) << entry.path() << ":" << number << " includes " << included
                                << "/, which is no layer";
          EXPECT_LE(target, layer_of(folder))
              << entry.path() << ":" << number << " includes a header of the higher layer "
              << included << "/";
        }
      }
    }
  }
  // The five layers hold the whole program: a scan that finds few files has
  // looked in the wrong place.
  EXPECT_GE(files, 40);
}

}  // namespace
