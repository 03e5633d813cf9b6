// How long an in-process COM server takes to come up, the way a mail client
// that disables slow add-ins sees it: in a fresh process with COM already
// initialised, the time from the first call into the server to the first
// object.
//   loadtime ROUNDS KWOLFunc.dll EmptyCOM.dll
// registers both DLLs with regsvr32, then per round and per DLL starts
// itself once for each way of creating the object and collects the time of
// each step that the child measured:
//   direct  LoadLibrary, DllGetClassObject, IClassFactory::CreateInstance
//   progid  CLSIDFromProgID, CoCreateInstance of the registered server
// and, for both, the first Release of the object, which is not part of the
// creation. It prints median, quartiles and range of the creation per DLL
// and way, the ratios KWOLFunc / empty of the medians and of the minima (on a
// loaded machine the fastest run is the one least disturbed), the median of
// each step, and the modules each server brought into the process, and
// unregisters both. It fails when a child failed, or when KWOLFunc brought a
// module that the empty server does not; the figures are for reading, not
// asserted.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "bench/wine/emptycom.h"
#include "functions/identity.h"
#include "tests/wine/process.h"

namespace {

using wine_check::fullPath;

// A child that fails exits with this code; one that succeeds exits with 0
// and writes its step times to its standard output.
constexpr DWORD kFailed = 0x7FFFFFFF;

struct Way {
    const wchar_t* name;
    std::vector<const char*> steps;  // the last is the first Release, outside the creation
};
const Way kWays[2] = {
    {L"direct", {"LoadLibrary", "GetClassObj", "CreateInst", "Release"}},
    {L"progid", {"CLSIDFromProgID", "CoCreateInst", "Release"}},
};

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

// Runs a child with its standard output on a pipe and answers its exit
// code; what it wrote goes to `output` when one is given. A child that
// cannot be started or gives no exit code counts as failed.
DWORD run(std::wstring command, std::string* output = nullptr) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return kFailed;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    DWORD code = kFailed;
    if (started) {
        char buffer[256];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got != 0)
            if (output != nullptr) output->append(buffer, got);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return code;
}

// A module's name in lower case (ASCII, as the system's and ours are).
std::string lowered(const wchar_t* name) {
    std::string out;
    for (const wchar_t* c = name; *c != 0; ++c)
        out += static_cast<char>(*c < 128 ? std::tolower(static_cast<int>(*c)) : '?');
    return out;
}

// The names of the modules loaded in this process.
std::set<std::string> loadedModules() {
    std::set<std::string> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return names;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry))
        names.insert(lowered(entry.szModule));
    CloseHandle(snapshot);
    return names;
}

// The child: one creation, each step timed, the times written as one line,
// then "|" and the modules that came into the process with the server,
// other than the server itself.
DWORD createOnce(const std::wstring& way, const std::wstring& dll, const CLSID& clsid, const std::wstring& progId) {
    if (FAILED(CoInitialize(nullptr))) return kFailed;
    const std::set<std::string> before = loadedModules();
    IUnknown* object = nullptr;
    HRESULT hr = E_FAIL;
    std::vector<LONGLONG> marks{now()};
    if (way == L"direct") {
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        HMODULE module = LoadLibraryW(dll.c_str());
        marks.push_back(now());
        auto get = module == nullptr ? nullptr
                                     : reinterpret_cast<GetClassObject>(
                                           reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        IClassFactory* factory = nullptr;
        if (get != nullptr && SUCCEEDED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
            marks.push_back(now());
            hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
            marks.push_back(now());
            factory->Release();
        }
    } else {
        CLSID found{};
        hr = CLSIDFromProgID(progId.c_str(), &found);
        marks.push_back(now());
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
        marks.push_back(now());
    }
    const std::set<std::string> after = loadedModules();
    if (object != nullptr) {
        const LONGLONG released = now();
        object->Release();
        marks.push_back(released);
        marks.push_back(now());
    }
    CoUninitialize();
    if (FAILED(hr) || object == nullptr) return kFailed;
    std::string line;
    for (std::size_t i = 1; i < marks.size(); ++i)
        if (i != marks.size() - 2) line += std::to_string(microseconds(marks[i] - marks[i - 1])) + ' ';
    line += '|';
    const std::string server = lowered(dll.c_str() + dll.find_last_of(L"\\/") + 1);
    for (const std::string& name : after)
        if (before.count(name) == 0 && name != server) line += ' ' + name;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return 0;
}

// The step times of one child's line, or nothing when it has the wrong count;
// the modules it names after the "|" go to `modules`.
std::vector<DWORD> parse(const std::string& line, std::size_t count, std::set<std::string>& modules) {
    const std::size_t bar = line.find('|');
    if (bar == std::string::npos) return {};
    std::vector<DWORD> times;
    const std::string numbers = line.substr(0, bar);
    const char* at = numbers.c_str();
    for (char* end = nullptr;; at = end) {
        const unsigned long value = std::strtoul(at, &end, 10);
        if (end == at) break;
        times.push_back(static_cast<DWORD>(value));
    }
    if (times.size() != count) return {};
    for (std::size_t from = bar + 1; from < line.size();) {
        const std::size_t to = std::min(line.find(' ', from + 1), line.size());
        if (to > from + 1) modules.insert(line.substr(from + 1, to - from - 1));
        from = to;
    }
    return times;
}

struct Server {
    const char* name;
    std::wstring dll;
    std::wstring clsid;
    std::wstring progId;
    std::vector<std::vector<DWORD>> runs[2];  // per way, per run the step times
    std::set<std::string> modules;            // what came into the process with it
};

DWORD at(std::vector<DWORD> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

// The creation times (all steps but the last), or one step's, of every run.
std::vector<DWORD> column(const std::vector<std::vector<DWORD>>& runs, std::size_t step, bool creation) {
    std::vector<DWORD> values;
    for (const auto& r : runs) {
        DWORD sum = 0;
        for (std::size_t i = 0; i + 1 < r.size(); ++i) sum += r[i];
        values.push_back(creation ? sum : r[step]);
    }
    return values;
}

double ratio(DWORD kw, DWORD empty) { return static_cast<double>(kw) / std::max<DWORD>(empty, 1); }

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
        {"KWOLFunc", fullPath(narrow[0].c_str()), kwClsid, reinterpret_cast<const wchar_t*>(kw::identity::kProgId), {},
         {}},
        {"empty", fullPath(narrow[1].c_str()), emptycom::kClsidText, emptycom::kProgId, {}, {}},
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
                std::string line;
                const DWORD code = run(L"\"" + std::wstring(self) + L"\" --once " + kWays[w].name + L" \"" + s.dll +
                                           L"\" " + s.clsid + L" " + s.progId,
                                       &line);
                std::vector<DWORD> times = parse(line, kWays[w].steps.size(), s.modules);
                if (code != 0 || times.empty()) {
                    std::printf("FAIL %s %ls: creation failed (0x%08lX)\n", s.name, kWays[w].name, code);
                    ++failures;
                } else {
                    s.runs[w].push_back(std::move(times));
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
        DWORD minima[2];
        for (int i = 0; i < 2; ++i) {
            const std::vector<DWORD> t = column(servers[i].runs[w], 0, true);
            medians[i] = at(t, 0.5);
            minima[i] = at(t, 0);
            std::printf("%-8ls %-8s %8lu %8lu %8lu %8lu %8lu\n", kWays[w].name, servers[i].name, medians[i],
                        at(t, 0.25), at(t, 0.75), minima[i], at(t, 1));
        }
        std::printf("%-8ls ratio KWOLFunc / empty: medians %.2f, minima %.2f\n", kWays[w].name,
                    ratio(medians[0], medians[1]), ratio(minima[0], minima[1]));
    }
    std::printf("\nmedian of each step, microseconds (Release is not part of the creation)\n");
    for (int w = 0; w < 2; ++w) {
        std::printf("%-8ls %-8s", kWays[w].name, "step");
        for (const char* step : kWays[w].steps) std::printf(" %15s", step);
        std::printf("\n");
        DWORD medians[2][4];
        for (int i = 0; i < 2; ++i) {
            std::printf("%-8ls %-8s", kWays[w].name, servers[i].name);
            for (std::size_t step = 0; step < kWays[w].steps.size(); ++step) {
                medians[i][step] = at(column(servers[i].runs[w], step, false), 0.5);
                std::printf(" %15lu", medians[i][step]);
            }
            std::printf("\n");
        }
        std::printf("%-8ls %-8s", kWays[w].name, "ratio");
        for (std::size_t step = 0; step < kWays[w].steps.size(); ++step)
            std::printf(" %15.2f", ratio(medians[0][step], medians[1][step]));
        std::printf("\n");
    }
    // Loading a system DLL that the host has not loaded yet is most of what
    // a server can add to the load; KWOLFunc may bring none that the empty
    // server does not.
    int extra = 0;
    for (const Server& s : servers) {
        std::printf("\n%-8s brings into the process:", s.name);
        for (const std::string& name : s.modules) {
            const bool more = &s == &servers[0] && servers[1].modules.count(name) == 0;
            std::printf(" %s%s", name.c_str(), more ? " (not with the empty server)" : "");
            extra += more ? 1 : 0;
        }
        if (s.modules.empty()) std::printf(" nothing");
    }
    std::printf("\n");
    if (extra != 0) std::printf("FAIL KWOLFunc loads %d module(s) that the empty server does not\n", extra);
    return extra != 0 ? 1 : 0;
}
