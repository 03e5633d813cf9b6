#include "platform/settingsapi.h"

namespace platform {

// Without a system registry the host chooses the store (setSettingsApi).
std::shared_ptr<SettingsApi> defaultSettingsApi() { return nullptr; }

}  // namespace platform
