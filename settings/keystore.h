// The registry functions of the settings backend over a tree of keys held by
// the component itself, with the behaviour of the Windows functions: names
// that ignore letter case, handles that stand for a key path, value data
// stored as the bytes given and handed back under the same size rules.
// The backends that are not the system's own registry (MemoryStore,
// RegFileStore) derive from KeyStore and only say where the tree lives.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/casefold.h"
#include "platform/settingsapi.h"
#include "settings/inifile.h"

namespace kw::settings {

using platform::RegKey;
using platform::sameName;
using platform::Text;
using platform::TextView;
using platform::upperCase;

// Where a backend that keeps the tree in a file read an item from; it lets
// the backend rewrite only what a change touched. None for an item that a
// change made.
inline constexpr std::size_t kNoOrigin = static_cast<std::size_t>(-1);

struct StoredValue {
    Text name;  // empty for the key's default value
    DWORD type = platform::regtype::None;
    // The data as the registry keeps it: texts (REG_SZ, REG_EXPAND_SZ,
    // REG_MULTI_SZ) as UTF-16LE, so that any Unicode text is kept whole;
    // the ANSI functions convert at their boundary. Other types as written.
    std::string data;
    std::size_t origin = kNoOrigin;
};

// Orders names as their upper-case forms order.
struct NameOrder {
    using is_transparent = void;
    bool operator()(TextView a, TextView b) const noexcept;
};

struct StoredKey {
    Text name;
    std::vector<StoredValue> values;   // in the order they were first written
    // By name, ordered by their upper-case names (each one's own name, as
    // first written, is the map's key and its `name`).
    std::map<Text, StoredKey, NameOrder> subkeys;
    std::size_t origin = kNoOrigin;
    // The positions in `values` by upper-case name, kept once a key holds
    // many values, so that reading a file stays linear however many values
    // one key has. Changed only by setValue and removeValue.
    std::unordered_map<Text, std::size_t> valueIndex;

    StoredValue* findValue(TextView valueName);
    const StoredValue* findValue(TextView valueName) const;
    StoredKey* findSubkey(TextView keyName);
    const StoredKey* findSubkey(TextView keyName) const;
    // The subkey of that name, made when missing.
    StoredKey& subkey(TextView keyName);
    // Sets the value; false when it already held exactly that.
    bool setValue(TextView valueName, DWORD type, std::string data);
    bool removeValue(TextView valueName);
    bool removeSubkey(TextView keyName);
};

// A key below a root: the root's handle value and the names on the way down.
struct KeyPath {
    std::int32_t root = 0;
    std::vector<Text> names;
};

// The predefined roots and everything below them.
class RegistryTree {
public:
    RegistryTree();

    // The root for a predefined handle value; null for any other.
    StoredKey* root(std::int32_t handleValue);
    const StoredKey* root(std::int32_t handleValue) const;
    // The handle value of the predefined root of that name.
    std::optional<std::int32_t> rootNamed(TextView name) const;

    StoredKey* find(const KeyPath& path);
    const StoredKey* find(const KeyPath& path) const;
    // The key at path, made with any missing parents; null for an unknown root.
    StoredKey* create(const KeyPath& path, bool& created);
    // Removes the key and everything below it.
    bool remove(const KeyPath& path);

    // The roots in a fixed order, each with its handle value.
    struct Root {
        std::int32_t handleValue;
        StoredKey key;
    };
    const std::vector<Root>& roots() const noexcept { return roots_; }

private:
    std::vector<Root> roots_;
};

// Splits a subkey path at its backslashes. One trailing backslash is
// allowed; an empty name anywhere else makes the path invalid.
bool splitKeyPath(TextView path, std::vector<Text>& names);

// Whether values of the type hold text, kept as UTF-16LE.
bool holdsText(DWORD type) noexcept;
// UTF-16LE bytes and the text they hold (an odd last byte is dropped).
std::string utf16Bytes(TextView text);
Text fromUtf16Bytes(std::string_view bytes);

// The size rules of RegQueryValueExA applied to one stored value: texts go
// out in the ANSI code page.
LONG copyValueOut(const StoredValue& value, DWORD* type, BYTE* data, DWORD* dataSize) noexcept;

class KeyStore : public platform::SettingsApi {
public:
    // Names of INI files without a full path are taken in iniDirectory.
    explicit KeyStore(std::filesystem::path iniDirectory);

    LONG RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) noexcept override;
    LONG RegCreateKeyA(RegKey key, const char* subKey, RegKey* result) noexcept override;
    LONG RegQueryValueExA(RegKey key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) noexcept override;
    LONG RegSetValueExA(RegKey key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD dataSize) noexcept override;
    LONG RegCloseKey(RegKey key) noexcept override;
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                                   DWORD size, const char* fileName) noexcept override;
    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* text,
                                    const char* fileName) noexcept override;

    // Handles open now; a caller that closes every key it opens leaves none.
    std::size_t openHandles() const;

protected:
    using Reader = std::function<LONG(const RegistryTree&)>;
    using Writer = std::function<LONG(RegistryTree&, bool& changed)>;
    // Runs read on the tree as it is now; a tree that cannot be had gives a
    // failure status instead.
    virtual LONG inspect(const Reader& read) = 0;
    // Runs change on the tree as it is now and keeps the result when change
    // reports a change; a tree that cannot be had or kept gives a failure.
    virtual LONG update(const Writer& change) = 0;

private:
    // The key a handle stands for; false for a handle that is not open.
    bool resolve(RegKey key, KeyPath& path) const;
    RegKey open(KeyPath path);
    LONG openOrCreate(RegKey key, const char* subKey, RegKey* result, bool create) noexcept;

    mutable platform::Mutex lock_;
    std::map<RegKey, KeyPath> handles_;
    RegKey nextHandle_ = 0x100;
    IniFiles ini_;
};

}  // namespace kw::settings
