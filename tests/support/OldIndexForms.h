#pragma once

#include <filesystem>

// Index files of the forms older imports wrote, made from a current index, so that tests can show
// that files already on users' disks are still read with the same answers. Both are written by hand
// from the format as it was documented: the current writer writes neither.
namespace testsupport {

// Version 1: hash buckets and records only, no names.
void MakeHashOnly(const std::filesystem::path &index);
// Version 2: hash buckets and records, then the names with their numbers at fixed width (12 bytes
// a name) and no n-gram section.
void MakeVersion2(const std::filesystem::path &index);

} // namespace testsupport
