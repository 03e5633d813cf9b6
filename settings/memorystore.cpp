#include "settings/memorystore.h"

namespace kw::settings {

LONG MemoryStore::inspect(const Reader& read) {
    std::lock_guard<platform::Mutex> hold(treeLock_);
    return read(tree_);
}

// Changes apply in place, so there is nothing more to keep.
LONG MemoryStore::update(const Writer& change) {
    std::lock_guard<platform::Mutex> hold(treeLock_);
    bool changed = false;
    return change(tree_, changed);
}

}  // namespace kw::settings
