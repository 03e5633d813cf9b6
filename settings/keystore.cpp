#include "settings/keystore.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/codepage.h"

namespace kw::settings {

namespace rc = platform::status;
namespace root = platform::root;

// ---- keys and values --------------------------------------------------

namespace {

// Below this many values a key is searched value by value.
constexpr std::size_t kIndexedValues = 16;

void reindex(StoredKey& key) {
    key.valueIndex.clear();
    if (key.values.size() < kIndexedValues) return;
    for (std::size_t i = 0; i < key.values.size(); ++i) key.valueIndex.emplace(upperCase(key.values[i].name), i);
}

template <class Key>
auto* valueIn(Key& key, TextView name) {
    using Value = std::remove_reference_t<decltype(key.values.front())>;
    if (!key.valueIndex.empty()) {
        const auto at = key.valueIndex.find(upperCase(name));
        return at == key.valueIndex.end() ? static_cast<Value*>(nullptr) : &key.values[at->second];
    }
    for (Value& value : key.values)
        if (sameName(value.name, name)) return &value;
    return static_cast<Value*>(nullptr);
}

template <class Key>
auto* subkeyIn(Key& key, TextView name) {
    const auto at = key.subkeys.find(name);
    return at == key.subkeys.end() ? nullptr : &at->second;
}

Text textOf(const char* ansi) { return ansi == nullptr ? Text() : platform::fromAnsi(ansi); }

// The predefined roots: handle value and name.
constexpr std::pair<std::int32_t, const char16_t*> kRoots[] = {
    {root::ClassesRoot, u"HKEY_CLASSES_ROOT"}, {root::CurrentUser, u"HKEY_CURRENT_USER"},
    {root::LocalMachine, u"HKEY_LOCAL_MACHINE"}, {root::Users, u"HKEY_USERS"},
    {root::CurrentConfig, u"HKEY_CURRENT_CONFIG"},
};

}  // namespace

StoredValue* StoredKey::findValue(TextView valueName) { return valueIn(*this, valueName); }
const StoredValue* StoredKey::findValue(TextView valueName) const { return valueIn(*this, valueName); }
StoredKey* StoredKey::findSubkey(TextView keyName) { return subkeyIn(*this, keyName); }
const StoredKey* StoredKey::findSubkey(TextView keyName) const { return subkeyIn(*this, keyName); }

StoredKey& StoredKey::subkey(TextView keyName) {
    auto at = subkeys.lower_bound(keyName);
    if (at != subkeys.end() && sameName(at->first, keyName)) return at->second;
    at = subkeys.emplace_hint(at, Text(keyName), StoredKey{});
    at->second.name = at->first;
    return at->second;
}

bool StoredKey::setValue(TextView valueName, DWORD type, std::string data) {
    if (StoredValue* existing = findValue(valueName)) {
        if (existing->type == type && existing->data == data) return false;
        existing->type = type;
        existing->data = std::move(data);
        return true;
    }
    values.push_back(StoredValue{Text(valueName), type, std::move(data)});
    if (!valueIndex.empty()) valueIndex.emplace(upperCase(valueName), values.size() - 1);
    else if (values.size() == kIndexedValues) reindex(*this);
    return true;
}

bool StoredKey::removeValue(TextView valueName) {
    const StoredValue* value = findValue(valueName);
    if (value == nullptr) return false;
    values.erase(values.begin() + (value - values.data()));
    reindex(*this);
    return true;
}

bool StoredKey::removeSubkey(TextView keyName) {
    const auto at = subkeys.find(keyName);
    if (at == subkeys.end()) return false;
    subkeys.erase(at);
    return true;
}

bool NameOrder::operator()(TextView a, TextView b) const noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = platform::upperChar(a[i]), y = platform::upperChar(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool holdsText(DWORD type) noexcept {
    return type == platform::regtype::Sz || type == platform::regtype::ExpandSz || type == platform::regtype::MultiSz;
}

std::string utf16Bytes(TextView text) {
    std::string out;
    out.reserve(2 * text.size());
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

Text fromUtf16Bytes(std::string_view bytes) {
    Text text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

// ---- the tree -----------------------------------------------------------

RegistryTree::RegistryTree() {
    for (const auto& [value, name] : kRoots) {
        Root r{value, {}};
        r.key.name = name;
        roots_.push_back(std::move(r));
    }
}

StoredKey* RegistryTree::root(std::int32_t handleValue) {
    for (Root& r : roots_)
        if (r.handleValue == handleValue) return &r.key;
    return nullptr;
}

const StoredKey* RegistryTree::root(std::int32_t handleValue) const {
    return const_cast<RegistryTree*>(this)->root(handleValue);
}

std::optional<std::int32_t> RegistryTree::rootNamed(TextView name) const {
    for (const auto& [value, rootName] : kRoots)
        if (sameName(rootName, name)) return value;
    return std::nullopt;
}

StoredKey* RegistryTree::find(const KeyPath& path) {
    StoredKey* key = root(path.root);
    for (const Text& name : path.names) {
        if (key == nullptr) return nullptr;
        key = key->findSubkey(name);
    }
    return key;
}

const StoredKey* RegistryTree::find(const KeyPath& path) const { return const_cast<RegistryTree*>(this)->find(path); }

StoredKey* RegistryTree::create(const KeyPath& path, bool& created) {
    StoredKey* key = root(path.root);
    if (key == nullptr) return nullptr;
    for (const Text& name : path.names) {
        StoredKey* next = key->findSubkey(name);
        if (next == nullptr) {
            next = &key->subkey(name);
            created = true;
        }
        key = next;
    }
    return key;
}

bool RegistryTree::remove(const KeyPath& path) {
    if (path.names.empty()) return false;
    KeyPath parentPath{path.root, {path.names.begin(), path.names.end() - 1}};
    StoredKey* parent = find(parentPath);
    return parent != nullptr && parent->removeSubkey(path.names.back());
}

bool splitKeyPath(TextView path, std::vector<Text>& names) {
    names.clear();
    if (path.empty()) return true;
    if (path.back() == u'\\') path.remove_suffix(1);
    for (;;) {
        const std::size_t slash = path.find(u'\\');
        const TextView name = path.substr(0, slash);
        if (name.empty()) return false;
        names.emplace_back(name);
        if (slash == TextView::npos) return true;
        path.remove_prefix(slash + 1);
    }
}

// The data goes out only when it fits. A text without a terminating NUL gets
// one when the buffer has room beyond it; the size reported leaves it out.
LONG copyValueOut(const StoredValue& value, DWORD* type, BYTE* data, DWORD* dataSize) noexcept {
    std::string ansi;
    try {
        if (holdsText(value.type)) ansi = platform::toAnsi(fromUtf16Bytes(value.data));
    } catch (const std::bad_alloc&) {
        return rc::NotEnoughMemory;
    }
    const std::string& out = holdsText(value.type) ? ansi : value.data;
    const auto length = static_cast<DWORD>(out.size());
    if (type != nullptr) *type = value.type;
    if (data != nullptr) {
        if (length > *dataSize) {
            *dataSize = length;
            return rc::MoreData;
        }
        std::memcpy(data, out.data(), length);
        if (holdsText(value.type) && length > 0 && length < *dataSize && data[length - 1] != 0) data[length] = 0;
    }
    if (dataSize != nullptr) *dataSize = length;
    return rc::Success;
}

// ---- the registry functions --------------------------------------------

namespace {

// Runs a backend function; running out of memory or any other failure of the
// component's own code becomes a status, as the function must not throw.
template <class Body>
LONG guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return rc::NotEnoughMemory;
    } catch (const std::exception&) {
        return rc::GenFailure;
    }
}

}  // namespace

KeyStore::KeyStore(std::filesystem::path iniDirectory) : ini_(std::move(iniDirectory)) {}

std::size_t KeyStore::openHandles() const {
    std::lock_guard<platform::Mutex> hold(lock_);
    return handles_.size();
}

bool KeyStore::resolve(RegKey key, KeyPath& path) const {
    for (const auto& r : kRoots) {
        if (platform::rootKey(r.first) == key) {
            path = KeyPath{r.first, {}};
            return true;
        }
    }
    std::lock_guard<platform::Mutex> hold(lock_);
    const auto at = handles_.find(key);
    if (at == handles_.end()) return false;
    path = at->second;
    return true;
}

RegKey KeyStore::open(KeyPath path) {
    std::lock_guard<platform::Mutex> hold(lock_);
    const RegKey handle = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(handle, std::move(path));
    return handle;
}

LONG KeyStore::openOrCreate(RegKey key, const char* subKey, RegKey* result, bool create) noexcept {
    if (result == nullptr) return rc::InvalidParameter;
    *result = 0;
    return guarded([&]() -> LONG {
        KeyPath path;
        if (!resolve(key, path)) return rc::InvalidHandle;
        std::vector<Text> names;
        if (!splitKeyPath(textOf(subKey), names)) return rc::BadPathname;
        if (names.empty()) {
            *result = key;
            return rc::Success;
        }
        path.names.insert(path.names.end(), names.begin(), names.end());
        const LONG status = create ? update([&](RegistryTree& tree, bool& changed) {
            return tree.create(path, changed) != nullptr ? rc::Success : rc::FileNotFound;
        })
                                   : inspect([&](const RegistryTree& tree) {
                                         return tree.find(path) != nullptr ? rc::Success : rc::FileNotFound;
                                     });
        if (status == rc::Success) *result = open(std::move(path));
        return status;
    });
}

LONG KeyStore::RegOpenKeyA(RegKey key, const char* subKey, RegKey* result) noexcept {
    return openOrCreate(key, subKey, result, false);
}

LONG KeyStore::RegCreateKeyA(RegKey key, const char* subKey, RegKey* result) noexcept {
    return openOrCreate(key, subKey, result, true);
}

LONG KeyStore::RegQueryValueExA(RegKey key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                DWORD* dataSize) noexcept {
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) return rc::InvalidParameter;
    return guarded([&]() -> LONG {
        KeyPath path;
        if (!resolve(key, path)) return rc::InvalidHandle;
        const Text name = textOf(valueName);
        return inspect([&](const RegistryTree& tree) {
            const StoredKey* stored = tree.find(path);
            if (stored == nullptr) return rc::KeyDeleted;
            const StoredValue* value = stored->findValue(name);
            return value == nullptr ? rc::FileNotFound : copyValueOut(*value, type, data, dataSize);
        });
    });
}

LONG KeyStore::RegSetValueExA(RegKey key, const char* valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize) noexcept {
    if (data == nullptr && dataSize != 0) return rc::NoAccess;
    return guarded([&]() -> LONG {
        KeyPath path;
        if (!resolve(key, path)) return rc::InvalidHandle;
        const Text name = textOf(valueName);
        std::string bytes(reinterpret_cast<const char*>(data), dataSize);
        // The ANSI function hands text over in the ANSI code page; the
        // registry keeps it as Unicode.
        if (holdsText(type)) bytes = utf16Bytes(platform::fromAnsi(bytes));
        return update([&](RegistryTree& tree, bool& changed) {
            StoredKey* stored = tree.find(path);
            if (stored == nullptr) return rc::KeyDeleted;
            changed = stored->setValue(name, type, std::move(bytes));
            return rc::Success;
        });
    });
}

// Closing a predefined root does nothing and succeeds.
LONG KeyStore::RegCloseKey(RegKey key) noexcept {
    for (const auto& r : kRoots)
        if (platform::rootKey(r.first) == key) return rc::Success;
    std::lock_guard<platform::Mutex> hold(lock_);
    return handles_.erase(key) == 1 ? rc::Success : rc::InvalidHandle;
}

DWORD KeyStore::GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                                         DWORD size, const char* fileName) noexcept {
    return ini_.getString(section, key, defaultText, buffer, size, fileName);
}

BOOL KeyStore::WritePrivateProfileStringA(const char* section, const char* key, const char* text,
                                          const char* fileName) noexcept {
    return ini_.writeString(section, key, text, fileName);
}

}  // namespace kw::settings
