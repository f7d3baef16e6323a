// Runs every file of the fuzz corpus through every fuzz target once, in every build.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzTargets.h"

namespace {

struct Target {
    const char* name;
    std::string (*run)(const uint8_t* data, size_t size);
};

const Target kTargets[] = {
    {"directory:", RunDirectoryInput}, {"engine:", RunEngineInput}, {"extract:", RunExtractInput},
    {"stub:", RunStubInput},           {"strip:", RunStripInput},   {"merge:", RunMergeInput},
    {"comments:", RunCommentInput},
};

// Messages may break their lines; the log keeps one line per input.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(argv[1]))
        if (item.is_regular_file()) files.push_back(item.path());
    std::sort(files.begin(), files.end());  // the same order, and so the same output, in every run
    if (files.empty()) {
        std::fprintf(stderr, "no corpus files in %s\n", argv[1]);
        return 1;
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::printf("%s (%zu bytes): ", file.filename().string().c_str(), bytes.size());
        std::fflush(stdout);
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        for (const Target& target : kTargets) {
            std::printf("%s ", target.name);
            std::fflush(stdout);  // a crash then shows which target it was in
            std::printf("%s; ", OneLine(target.run(data, bytes.size())).c_str());
        }
        std::printf("\n");
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
