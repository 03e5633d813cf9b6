// How long an in-process COM server takes to come up, the way a mail client
// that disables slow add-ins sees it: in a fresh process with COM already
// initialised, the time from LoadLibrary to the first object.
//   loadtime ROUNDS KWOLFunc.dll EmptyCOM.dll
// registers both DLLs with regsvr32, then per round and per DLL starts
// itself once for each way of creating the object and collects the time the
// child measured:
//   direct  LoadLibrary + DllGetClassObject + IClassFactory::CreateInstance
//   progid  CLSIDFromProgID + CoCreateInstance of the registered server
// It prints median, quartiles and range per DLL and way, the ratio of the
// medians KWOLFunc / empty, and unregisters both. It fails only when a
// child failed; the figures are for reading, not asserted.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/wine/emptycom.h"
#include "functions/identity.h"
#include "tests/wine/process.h"

namespace {

using wine_check::fullPath;

// A child's exit code is its time in microseconds; anything at or above
// this is a failure code (Windows' own codes are far above it).
constexpr DWORD kFailed = 0x7FFFFFFF;

LONGLONG now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

DWORD microseconds(LONGLONG ticks) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<DWORD>(ticks * 1000000 / f.QuadPart);
}

// Runs a child and answers its exit code; a child that cannot be started or
// gives no exit code counts as failed.
DWORD run(std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return kFailed;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = kFailed;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The child: one creation, timed from the first call into the server to the
// object in hand.
DWORD createOnce(const std::wstring& way, const std::wstring& dll, const CLSID& clsid, const std::wstring& progId) {
    if (FAILED(CoInitialize(nullptr))) return kFailed;
    IUnknown* object = nullptr;
    HRESULT hr = E_FAIL;
    const LONGLONG start = now();
    if (way == L"direct") {
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        HMODULE module = LoadLibraryW(dll.c_str());
        auto get = module == nullptr ? nullptr
                                     : reinterpret_cast<GetClassObject>(
                                           reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        IClassFactory* factory = nullptr;
        if (get != nullptr && SUCCEEDED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
            hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
            factory->Release();
        }
    } else {
        CLSID found{};
        hr = CLSIDFromProgID(progId.c_str(), &found);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
    }
    const LONGLONG end = now();
    if (object != nullptr) object->Release();
    CoUninitialize();
    return SUCCEEDED(hr) && object != nullptr ? std::min(microseconds(end - start), kFailed - 1) : kFailed;
}

struct Server {
    const char* name;
    std::wstring dll;
    std::wstring clsid;
    std::wstring progId;
    std::vector<DWORD> times[2];  // direct, progid
};

const wchar_t* const kWays[2] = {L"direct", L"progid"};

DWORD at(const std::vector<DWORD>& sorted, double q) {
    return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5)];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 6 && std::wstring(argv[1]) == L"--once") {
        CLSID clsid{};
        if (FAILED(CLSIDFromString(argv[4], &clsid))) return static_cast<int>(kFailed);
        return static_cast<int>(createOnce(argv[2], argv[3], clsid, argv[5]));
    }
    if (argc != 4 || _wtoi(argv[1]) < 1) {
        std::printf("usage: loadtime ROUNDS KWOLFunc.dll EmptyCOM.dll\n");
        return 2;
    }
    const int rounds = _wtoi(argv[1]);
    std::vector<std::string> narrow;
    for (int i = 2; i < 4; ++i) narrow.emplace_back(argv[i], argv[i] + wcslen(argv[i]));
    wchar_t kwClsid[64];
    StringFromGUID2(kw::identity::CLSID_Functions, kwClsid, 64);
    Server servers[2] = {
        {"KWOLFunc", fullPath(narrow[0].c_str()), kwClsid, reinterpret_cast<const wchar_t*>(kw::identity::kProgId), {}},
        {"empty", fullPath(narrow[1].c_str()), emptycom::kClsidText, emptycom::kProgId, {}},
    };
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);

    int failures = 0;
    for (Server& s : servers) {
        if (run(L"regsvr32 /s \"" + s.dll + L"\"") != 0) {
            std::printf("FAIL regsvr32 %s\n", s.name);
            ++failures;
        }
    }
    // Both servers alternate within a round, so that drift in the machine's
    // load reaches both alike.
    for (int round = 0; round < rounds && failures == 0; ++round) {
        for (int w = 0; w < 2; ++w) {
            for (int k = 0; k < 2; ++k) {
                Server& s = servers[(round + k) % 2];
                const DWORD us = run(L"\"" + std::wstring(self) + L"\" --once " + kWays[w] + L" \"" + s.dll + L"\" " +
                                     s.clsid + L" " + s.progId);
                if (us >= kFailed) {
                    std::printf("FAIL %s %ls: creation failed (0x%08lX)\n", s.name, kWays[w], us);
                    ++failures;
                } else {
                    s.times[w].push_back(us);
                }
            }
        }
    }
    for (Server& s : servers) run(L"regsvr32 /s /u \"" + s.dll + L"\"");
    if (failures != 0) return 1;

    std::printf("%d rounds, microseconds from the first call into the server to the first object\n", rounds);
    std::printf("%-8s %-8s %8s %8s %8s %8s %8s\n", "way", "server", "median", "p25", "p75", "min", "max");
    for (int w = 0; w < 2; ++w) {
        DWORD medians[2];
        for (int i = 0; i < 2; ++i) {
            std::vector<DWORD> t = servers[i].times[w];
            std::sort(t.begin(), t.end());
            medians[i] = at(t, 0.5);
            std::printf("%-8ls %-8s %8lu %8lu %8lu %8lu %8lu\n", kWays[w], servers[i].name, medians[i], at(t, 0.25),
                        at(t, 0.75), t.front(), t.back());
        }
        std::printf("%-8ls ratio KWOLFunc / empty (medians): %.2f\n", kWays[w],
                    static_cast<double>(medians[0]) / std::max<DWORD>(medians[1], 1));
    }
    return 0;
}
