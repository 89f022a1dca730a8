// Stands in for libFuzzer's driver where it is absent: runs every input file given, or
// every file of every folder given, once through the harness. Arguments starting with
// "-" are libFuzzer options and ignored. An input that runs longer than the time bound
// ends the process, as a libFuzzer timeout would.
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

constexpr unsigned kSecondsPerInput = 10;

std::vector<std::filesystem::path> inputs_of(const std::filesystem::path& argument) {
    if (!std::filesystem::is_directory(argument)) return {argument};
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argument)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::fprintf(stderr, "running %s (%zu bytes)\n", file.c_str(), bytes.size());
    alarm(kSecondsPerInput);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    alarm(0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGALRM, [](int) {
        static const char kMessage[] = "input ran past the time bound\n";
        (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        std::_Exit(70);
    });
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') continue;
        for (const auto& file : inputs_of(argv[i])) {
            if (!replay(file)) return 1;
            ++count;
        }
    }
    std::fprintf(stderr, "replayed %zu inputs\n", count);
    return 0;
}
