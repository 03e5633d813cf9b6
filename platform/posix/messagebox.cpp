// Without a desktop, a message box is written to standard error as its title
// and text, and answered OK.
#include <cstdio>

#include "platform/messagebox.h"

namespace platform {

int systemMessageBox(const Text& text, const Text& title, UINT) {
    std::fprintf(stderr, "[%s]\n%s\n[OK]\n", toUtf8(title).c_str(), toUtf8(text).c_str());
    return IDOK;
}

}  // namespace platform
