// Modal message boxes. On Windows they are MessageBoxW; a host may instead
// choose a presenter, which is what hosts without a desktop do (the default
// presenter there writes the box to standard error and answers OK) and what
// tests do to record the boxes.
#pragma once

#include <functional>

#include "platform/strings.h"

namespace platform {

using MessageBoxPresenter = std::function<int(const Text& text, const Text& title, UINT style)>;

// Shows the box and returns the button that closed it (IDOK for OK).
int showMessageBox(const Text& text, const Text& title, UINT style);

// Replaces the presenter; an empty one restores the platform's own.
void setMessageBoxPresenter(MessageBoxPresenter presenter);

}  // namespace platform
