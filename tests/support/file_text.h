#pragma once
// A whole file as bytes, for the native tests that read fixtures; empty when it cannot be read.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lumvo::test {

inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace lumvo::test
