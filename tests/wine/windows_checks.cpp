// Checks of the Windows side of the component, run under Wine by the test
// command: the registry backend bound by name, the file lookup, message
// boxes, and the COM face with the system's own error information (the
// exceptions the component takes have fault_checks.cpp). Prints a line per
// check and fails when any check does.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <string>
#include <vector>

#include "content/MessageCopy.h"
#include "errorcapture/frame.h"
#include "platform/atomicfile.h"
#include "functions/FunctionsObject.h"
#include "platform/messagebox.h"
#include "settings/RegRW.h"

namespace {

using platform::Text;
using platform::Variant;

int failures = 0;
// The message boxes the error blocks show (no report component here).

std::vector<Text> boxes;

void expect(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) {
        ++failures;
        if (!boxes.empty()) std::printf("     last box: %s\n", platform::toUtf8(boxes.back()).c_str());
    }
}

void settings() {
    const bool noIni = false;
    const std::int32_t hkcu = platform::root::CurrentUser;
    const Text key = u"Software\\Kestrelwood\\Checks";
    kw::RegRW::RegWrite(key, u"Text", u"S", Variant::text(u"abc"), noIni, Text(), hkcu);
    expect(kw::RegRW::RegRead(key, u"Text", u"s", noIni, Text(), hkcu) == u"abc", "a text round-trips the registry");
    kw::RegRW::RegWrite(key, u"Long", u"S", Variant::text(Text(255, u'x')), noIni, Text(), hkcu);
    expect(kw::RegRW::RegRead(key, u"Long", u"S", noIni, Text(), hkcu).empty(), "a text of 255 characters reads empty");
    kw::RegRW::RegWrite(key, u"Number", u"D", Variant::i4(-1), noIni, Text(), hkcu);
    expect(kw::RegRW::RegRead(key, u"Number", u"D", noIni, Text(), hkcu) == u"-1", "a dword reads back signed");
    expect(kw::RegRW::RegRead(u"Software\\Kestrelwood\\Missing", u"X", u"D", noIni, Text(), hkcu) == u"0",
           "a missing dword reads 0");

    // The installer is 32-bit: the identity lies in the machine's 32-bit
    // view, and a 64-bit build must read it there, not in its own view.
    const auto writeIdentity = [](REGSAM view, const char* identity) {
        HKEY installation = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrelwood\\Installation", 0, nullptr, 0,
                        KEY_SET_VALUE | view, nullptr, &installation, nullptr);
        RegSetValueExA(installation, "Identity", 0, REG_SZ, reinterpret_cast<const BYTE*>(identity),
                       static_cast<DWORD>(std::strlen(identity)));
        RegCloseKey(installation);
    };
    writeIdentity(KEY_WOW64_32KEY, "written-by-32-bit");
    writeIdentity(KEY_WOW64_64KEY, "written-by-64-bit");
    const std::int32_t hklm = platform::root::LocalMachine;
    expect(kw::RegRW::RegRead(u"Software\\Kestrelwood\\Installation\\", u"Identity", u"S", noIni, Text(), hklm) ==
               u"written-by-32-bit",
           "the installation identity is read in the machine's 32-bit view");
}

void files() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const Text base = Text(reinterpret_cast<const char16_t*>(folder)) + u"kwolfunc-checks-" +
                      platform::fromUtf8(std::to_string(GetCurrentProcessId()));
    CreateDirectoryW(reinterpret_cast<LPCWSTR>(base.c_str()), nullptr);
    const Text file = base + u"\\Mail.EML", hidden = base + u"\\hidden.eml";
    for (const Text* path : {&file, &hidden}) {
        HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(path->c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               path == &hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(h);
    }
    expect(kw::General::FileExist(base + u"\\mail.eml"), "FileExist finds a file whatever its letter case");
    expect(!kw::General::FileExist(base + u"\\hidden.eml"), "FileExist never matches a hidden file");
    expect(!kw::General::FileExist(base + u"\\other.eml"), "FileExist does not match a missing file");
    const std::filesystem::path made = std::filesystem::path(reinterpret_cast<const wchar_t*>(base.c_str())) / L"made.eml";
    platform::createFile(made, "first");
    bool refused = false;
    try {
        platform::createFile(made, "second");
    } catch (const std::system_error& e) {
        refused = e.code() == std::errc::file_exists;
    }
    expect(refused && platform::readWholeFile(made) == "first", "a new file never replaces one");
    expect(std::distance(std::filesystem::directory_iterator(made.parent_path()), {}) == 3, "and leaves no other file");
    std::filesystem::remove(made);
    DeleteFileW(reinterpret_cast<LPCWSTR>(file.c_str()));
    SetFileAttributesW(reinterpret_cast<LPCWSTR>(hidden.c_str()), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(reinterpret_cast<LPCWSTR>(hidden.c_str()));
    RemoveDirectoryW(reinterpret_cast<LPCWSTR>(base.c_str()));
}

void comFace() {
    platform::ComPtr<_Functions> functions;
    expect(SUCCEEDED(kw::FunctionsObject::create(kw::identity::IID__Functions, functions.putVoid())),
           "a Functions object is made");
    // Without Outlook and the spam client installed, attaching marks the
    // object and making the spam client object fails the call.
    const HRESULT hr = functions->CreateFolder(nullptr);
    platform::ComPtr<IErrorInfo> info;
    platform::Bstr description;
    if (GetErrorInfo(0, info.put()) == S_OK) info->GetDescription(description.put());
    expect(hr == static_cast<HRESULT>(0x800AFFFFu), "the failing call returns 0x800AFFFF");
    expect(description.text() == u"Application-defined or object-defined error", "with the system's error information");
    expect(static_cast<kw::FunctionsObject*>(functions.get())->model().ObjError, "and the object stays marked");
}

}  // namespace

int main() {
    CoInitialize(nullptr);
    platform::setMessageBoxPresenter([](const Text& text, const Text&, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    settings();
    files();
    comFace();
    kw::releaseThreadOutlookApplication();
    CoUninitialize();
    std::printf("%s\n", failures == 0 ? "All Windows checks passed." : "Some Windows checks failed.");
    return failures == 0 ? 0 : 1;
}
