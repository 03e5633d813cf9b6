// Files that other processes read and write at the same time: an exclusive
// lock between writers, whole-file reads, and replacement of a file's
// contents that a crash or a concurrent reader never sees half done.
//
// A writer takes the lock on "<file>.lock" (a file created for that purpose
// and never removed), reads the file, and replaces it. Readers need no lock:
// the file is only ever replaced by a rename, so a reader sees either the old
// or the new contents. Failures throw std::system_error.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The lock file that guards file.
inline std::filesystem::path lockPathFor(const std::filesystem::path& file) {
    std::filesystem::path lock = file;
    lock += ".lock";
    return lock;
}

// An exclusive lock on a lock file, waited for and held until destruction.
// It excludes other processes and other FileLock objects of this process.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& lockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    std::intptr_t handle_;
};

// The whole contents of file; nothing when it does not exist.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

// Replaces the contents of file with bytes, creating it when missing: writes
// "<file>.new", flushes it to the disk and renames it over file. The caller
// holds the file's lock, which also keeps the temporary name to one writer.
void replaceFile(const std::filesystem::path& file, std::string_view bytes);

// Writes bytes as a new file, never replacing one: into a temporary file of
// its own in file's folder, flushed to the disk, which then takes file's name
// only if no entry has that name (std::errc::file_exists otherwise). On any
// failure the temporary file is removed, so nothing half written is left.
void createFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace platform
