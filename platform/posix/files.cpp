#include <dirent.h>
#include <sys/stat.h>

#include "platform/casefold.h"
#include "platform/files.h"

namespace platform {

namespace {

// "*" any run of characters, "?" any one character; letter case is free.
bool matches(TextView pattern, TextView name) {
    std::size_t p = 0, n = 0, starP = TextView::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || upperChar(pattern[p]) == upperChar(name[n]))) {
            ++p;
            ++n;
        } else if (starP != TextView::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace

std::string nativePath(const Text& path) {
    std::string native = toUtf8(path);
    for (char& c : native)
        if (c == '\\') c = '/';
    return native;
}

std::optional<Text> findFirstNormalFile(const Text& path) {
    if (path.find(u'\0') != Text::npos) return std::nullopt;
    const std::size_t cut = path.find_last_of(u"\\/");
    const Text folder = cut == Text::npos ? Text(u".") : cut == 0 ? Text(u"/") : path.substr(0, cut);
    const Text pattern = cut == Text::npos ? path : path.substr(cut + 1);
    if (pattern.empty()) return Text();
    const std::string nativeFolder = nativePath(folder);
    DIR* dir = opendir(nativeFolder.c_str());
    if (dir == nullptr) return Text();
    // Files here have no hidden or system attribute. A leading "." only asks
    // listings to leave a name out; the file is as normal as any, and the
    // copy of a mail without a subject is named ".eml". So a normal file is
    // a regular file (links followed); folders, devices, pipes and sockets
    // are not. "." and ".." are folders.
    Text found;
    while (const dirent* entry = readdir(dir)) {
        const Text name = fromUtf8(entry->d_name);
        if (!matches(pattern, name)) continue;
        struct stat info {};
        if (stat((nativeFolder + "/" + entry->d_name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        found = name;
        break;
    }
    closedir(dir);
    return found;
}

}  // namespace platform
