// Whole-file writes: a new file appears whole or not at all and never
// replaces one; a failure at any system call leaves nothing behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/atomicfile.h"
#include "platform/posix/filecalls.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using platform::FileCalls;

// Puts the system's calls back when a test has replaced some.
struct SystemCallsRestored {
    FileCalls saved = platform::fileCalls();
    ~SystemCallsRestored() { platform::fileCalls() = saved; }
};

class AtomicFile : public ::testing::Test {
protected:
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {})); }
    // Read with the standard library, not with the module under test.
    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    kwtest::TempDir dir;
    const fs::path& folder = dir.path();
    SystemCallsRestored restored;
};

TEST_F(AtomicFile, ANewFileHoldsTheBytesAndAnExistingFileIsNeverReplaced) {
    platform::createFile(folder / "Offer.eml", std::string("a\0b", 3));
    EXPECT_EQ(read(folder / "Offer.eml"), std::string("a\0b", 3));
    try {
        platform::createFile(folder / "Offer.eml", "second");
        FAIL() << "the file was replaced";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::file_exists);
    }
    EXPECT_EQ(read(folder / "Offer.eml"), std::string("a\0b", 3));
    EXPECT_EQ(entries(), 1u) << "nothing else is left";
}

TEST_F(AtomicFile, AFailureAtAnyStepLeavesNoFile) {
    struct Step {
        const char* name;
        void (*breakIt)(FileCalls&);
    };
    const Step steps[] = {
        {"open", [](FileCalls& c) { c.open = [](const char*, int, mode_t) { return errno = EACCES, -1; }; }},
        {"write", [](FileCalls& c) { c.write = [](int, const void*, size_t) -> ssize_t { return errno = ENOSPC, -1; }; }},
        {"fsync", [](FileCalls& c) { c.fsync = [](int) { return errno = EIO, -1; }; }},
        // As on a network file system: the descriptor is gone, the data may be too.
        {"close", [](FileCalls& c) { c.close = [](int fd) { return ::close(fd), errno = EIO, -1; }; }},
        {"rename", [](FileCalls& c) { c.renameNoReplace = [](const char*, const char*) { return errno = EIO, -1; }; }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.breakIt(platform::fileCalls());
        EXPECT_THROW(platform::createFile(folder / "Offer.eml", "text"), std::system_error);
        platform::fileCalls() = restored.saved;
        EXPECT_EQ(entries(), 0u);
    }
}

TEST_F(AtomicFile, AFailedReplacementKeepsTheOldContents) {
    platform::replaceFile(folder / "settings.reg", "old");
    platform::fileCalls().close = [](int fd) { return ::close(fd), errno = EIO, -1; };
    EXPECT_THROW(platform::replaceFile(folder / "settings.reg", "new"), std::system_error);
    platform::fileCalls() = restored.saved;
    EXPECT_EQ(read(folder / "settings.reg"), "old");
    EXPECT_EQ(entries(), 1u) << "no temporary file stays";
    platform::replaceFile(folder / "settings.reg", "new");
    EXPECT_EQ(read(folder / "settings.reg"), "new");
}

}  // namespace
