#pragma once

#include <filesystem>
#include <vector>

// Where the data files installed with the program live: share/nimbrel beside the folder of the
// running executable. nimbrel-cli sits in bin/ and the window in libexec/nimbrel/, so both
// share/nimbrel one and two folders up are asked; in the build tree the programs sit one folder
// below the build root, where the build copies the data files to share/nimbrel.
namespace platform {

// The folders to look in, nearest first; empty when the executable's path cannot be read.
std::vector<std::filesystem::path> ProgramDataFolders();

} // namespace platform
