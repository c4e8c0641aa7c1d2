// The layer order of the program's folders: a file includes only headers of
// its own layer and of the layers below it. The order is written here once;
// the README states it and CMake links the layer libraries in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

// Lowest first; folders of one entry form one layer.
const std::vector<std::vector<std::string>> kLayers = {
    {"textio"}, {"database"}, {"distance"}, {"report"}, {"run", "cldf"}};

int layer_of(const std::string& folder) {
  for (std::size_t i = 0; i < kLayers.size(); ++i)
    for (const std::string& f : kLayers[i])
      if (f == folder) return static_cast<int>(i);
  return -1;
}

TEST(Layers, NoFileIncludesAHeaderOfAHigherLayer) {
  namespace fs = std::filesystem;
  const fs::path root = PLIX_SOURCE_DIR;
  const std::regex include_line(R"(^\s*#\s*include\s*"([A-Za-z0-9_]+)/[^"]+")");
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
          std::smatch m;
          if (!std::regex_search(line, m, include_line)) continue;
          const int target = layer_of(m[1]);
          EXPECT_NE(target, -1) << entry.path() << ":" << number << " includes " << m[1]
                                << "/, which is no layer";
          EXPECT_LE(target, layer_of(folder))
              << entry.path() << ":" << number << " includes a header of the higher layer "
              << m[1] << "/";
        }
      }
    }
  }
  // The five layers hold the whole program: a scan that finds few files has
  // looked in the wrong place.
  EXPECT_GE(files, 40);
}

}  // namespace
