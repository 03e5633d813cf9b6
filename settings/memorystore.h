// A settings backend whose registry lives in memory, for tests and for hosts
// that keep no settings between runs. Its INI files are real files.
#pragma once

#include "settings/keystore.h"

namespace kw::settings {

class MemoryStore final : public KeyStore {
public:
    explicit MemoryStore(std::filesystem::path iniDirectory = {}) : KeyStore(std::move(iniDirectory)) {}

protected:
    LONG inspect(const Reader& read) override;
    LONG update(const Writer& change) override;

private:
    platform::Mutex treeLock_;
    RegistryTree tree_;
};

}  // namespace kw::settings
