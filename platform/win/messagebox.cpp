#include "platform/messagebox.h"

namespace platform {

int systemMessageBox(const Text& text, const Text& title, UINT style) {
    return MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(text.c_str()), reinterpret_cast<LPCWSTR>(title.c_str()),
                       style | MB_SETFOREGROUND);
}

}  // namespace platform
