#pragma once

#include <filesystem>
#include <set>
#include <string>

namespace TestSupport {

// The whole file, byte for byte (empty when it cannot be read).
std::string ReadBytes(const std::filesystem::path& file);

// Writes the file, making its folders first.
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);

// Every file and folder below `root`, relative, folders ending in "/".
std::set<std::string> Tree(const std::filesystem::path& root);

}  // namespace TestSupport
