// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *dati, std::size_t dimensione);

// Feeds every file named, or found in a folder named, to the harness once, as
// libFuzzer does with a corpus, so the corpus runs without clang.
namespace fs = std::filesystem;

namespace {
std::vector<fs::path> file_di(const fs::path &percorso)
{
    if (!fs::is_directory(percorso))
        return {percorso};
    std::vector<fs::path> file;
    for (const fs::directory_entry &voce : fs::directory_iterator(percorso)) {
        if (voce.is_regular_file())
            file.push_back(voce.path());
    }
    std::sort(file.begin(), file.end());
    return file;
}

bool riproduci(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
        return false;
    }
    const std::vector<std::uint8_t> dati((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", file.c_str());
    LLVMFuzzerTestOneInput(dati.data(), dati.size());
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    int riprodotti = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path &file : file_di(argv[i])) {
            if (!riproduci(file))
                return 1;
            ++riprodotti;
        }
    }
    std::printf("%d inputs replayed\n", riprodotti);
    // An empty or misplaced corpus must not pass for a replayed one.
    return riprodotti > 0 ? 0 : 1;
}
