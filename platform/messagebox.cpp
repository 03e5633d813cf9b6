#include "platform/messagebox.h"

namespace platform {

namespace {
// Chosen by the host while it starts, before any box is shown.
MessageBoxPresenter& presenter() {
    static MessageBoxPresenter chosen;
    return chosen;
}
}  // namespace

// The platform's own box (posix/messagebox.cpp, win/messagebox.cpp).
int systemMessageBox(const Text& text, const Text& title, UINT style);

int showMessageBox(const Text& text, const Text& title, UINT style) {
    const MessageBoxPresenter& chosen = presenter();
    return chosen ? chosen(text, title, style) : systemMessageBox(text, title, style);
}

void setMessageBoxPresenter(MessageBoxPresenter p) { presenter() = std::move(p); }

}  // namespace platform
