// Feeds every file of a corpus folder to a fuzz target once, in name order,
// so the normal build runs each target over its saved inputs (the ones that
// once failed among them) without a fuzzing engine. A failing input aborts
// the program; the name of the input being fed is printed first.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
    return 2;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> inputs;
  for (const auto& e : fs::directory_iterator(argv[1], ec))
    if (e.is_regular_file()) inputs.push_back(e.path());
  if (ec || inputs.empty()) {
    // A target without saved inputs tests nothing; say so rather than pass.
    std::fprintf(stderr, "%s: no inputs to replay\n", argv[1]);
    return 1;
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s (%zu bytes)\n", p.filename().c_str(), bytes.size());
    std::fflush(stderr);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu input(s) replayed\n", inputs.size());
  return 0;
}
