// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds files to a fuzz target's entry point, as libFuzzer would feed one
// input: `fuzz_replay TARGET PATH...`, where a folder stands for every file in
// it. Each input gets a buffer of exactly its size, so that a read past its
// end is caught by AddressSanitizer where the build has it.

#include "FuzzTarget.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::map<std::string, ostrel::fuzz::Entry>& entries() {
    static std::map<std::string, ostrel::fuzz::Entry> known;
    return known;
}

std::vector<std::filesystem::path> inputsIn(const std::filesystem::path& path) {
    if (!std::filesystem::is_directory(path))
        return {path};
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool replay(ostrel::fuzz::Entry entry, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << file << '\n';
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    const auto input = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), input.get());
    std::cerr << "replaying " << file.string() << '\n';
    entry(input.get(), bytes.size());
    return true;
}

} // namespace

bool ostrel::fuzz::registerEntry(const char* name, Entry entry) {
    entries()[name] = entry;
    return true;
}

int main(int argc, char** argv) {
    const auto known = argc > 1 ? entries().find(argv[1]) : entries().end();
    if (argc < 3 || known == entries().end()) {
        std::cerr << "usage: fuzz_replay TARGET FILE_OR_FOLDER...\ntargets:";
        for (const auto& [name, entry] : entries())
            std::cerr << ' ' << name;
        std::cerr << '\n';
        return 2;
    }
    int replayed = 0;
    for (int i = 2; i < argc; ++i) {
        for (const std::filesystem::path& file : inputsIn(argv[i])) {
            if (!replay(known->second, file))
                return 1;
            ++replayed;
        }
    }
    // A corpus that went missing must not pass as one that holds.
    if (replayed == 0) {
        std::cerr << "no inputs for " << argv[1] << '\n';
        return 1;
    }
    std::cout << argv[1] << ": " << replayed << " inputs replayed\n";
    return 0;
}
