// The component's calls on Outlook objects, reached by name: a folder path
// walk, a spam check and a contact list through the in-process stand-ins,
// each with the number of member-name lookups (GetIDsOfNames) and calls
// (Invoke) that one public call makes. The walk stands beside the same
// Invoke calls made on the stand-ins directly by DISPID, the floor that the
// stand-ins' own work sets.
#include <benchmark/benchmark.h>

#include "functions/Functions.h"
#include "functions/FunctionsObject.h"
#include "functions/identity.h"
#include "platform/classtable.h"
#include "server/classtable.h"
#include "standins/environment.h"

namespace {

using platform::ComPtr;
using platform::Text;
using platform::Variant;

// A Functions object made as the add-in makes it, in a fresh environment.
class Scene {
public:
    Scene() {
        kw::registerFunctionsClass();
        CLSID clsid{};
        CLSIDFromProgID(platform::ole(Text(kw::identity::kProgId)), &clsid);
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kw::identity::IID__Functions, object.putVoid());
    }
    ~Scene() {
        object.reset();
        kw::releaseThreadOutlookApplication();
        platform::clearClassTable();
    }
    ComPtr<_NameSpace> ns() const { return ComPtr<IDispatch>::share(env.outlook.ns()).query<_NameSpace>(); }

    standins::Environment env;
    ComPtr<_Functions> object;
};

// Runs one call with the log on and reports its lookups and calls, then
// times the call with the log off.
template <class Call>
void measure(benchmark::State& state, Call&& call) {
    auto& log = standins::log();
    log.clear();
    log.recording = true;
    call();
    state.counters["lookups"] = static_cast<double>(log.lookups());
    state.counters["invokes"] = static_cast<double>(log.calls().size());
    log.recording = false;
    for (auto _ : state) call();
}

standins::Folder* chain(standins::OutlookWorld& world, std::int64_t depth) {
    standins::Folder* folder = world.defaultFolder(6);
    for (std::int64_t i = 0; i < depth; ++i) folder = world.addFolder(folder, u"f");
    return folder;
}

void BM_OutlookCalls_GetFolderPath(benchmark::State& state) {
    Scene scene;
    standins::Folder* deepest = chain(scene.env.outlook, state.range(0));
    measure(state, [&] {
        BSTR id = SysAllocString(platform::ole(deepest->entryId)), path = nullptr;
        benchmark::DoNotOptimize(scene.object->GetFolderPath(&id, &path));
        SysFreeString(id);
        SysFreeString(path);
    });
}
BENCHMARK(BM_OutlookCalls_GetFolderPath)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The floor of the walk: per folder the calls the walk makes (its identity
// twice, its name, its parent and the test that the parent is a folder), by
// DISPID on the stand-ins, with no component in between.
void BM_OutlookCalls_GetFolderPath_StandInsOnly(benchmark::State& state) {
    Scene scene;
    standins::Folder* deepest = chain(scene.env.outlook, state.range(0));
    standins::log().recording = false;
    IDispatch* start = deepest->dispatch();
    const auto idOf = [&](const char16_t* member) {
        Text name(member);
        LPOLESTR names[] = {const_cast<LPOLESTR>(platform::ole(name))};
        DISPID id = DISPID_UNKNOWN;
        start->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        return id;
    };
    const DISPID entryId = idOf(u"EntryID"), name = idOf(u"Name"), parent = idOf(u"Parent");
    const auto get = [](IDispatch* object, DISPID id) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        Variant result;
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, result.put(),
                       nullptr, nullptr);
        return result;
    };
    for (auto _ : state) {
        ComPtr<IDispatch> folder = ComPtr<IDispatch>::share(start);
        while (folder) {
            benchmark::DoNotOptimize(get(folder.get(), entryId));
            benchmark::DoNotOptimize(get(folder.get(), name));
            benchmark::DoNotOptimize(get(folder.get(), entryId));
            const Variant up = get(folder.get(), parent);
            ComPtr<MAPIFolder> next;
            if (up.type() == VT_DISPATCH && up.get()->pdispVal != nullptr)
                up.get()->pdispVal->QueryInterface(kw::outlook::IID_MAPIFolder, next.putVoid());
            folder = next;
        }
    }
}
BENCHMARK(BM_OutlookCalls_GetFolderPath_StandInsOnly)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

// CheckMail of a spam mail with the spam folder in place: the folder lookup,
// the unread flag and the move.
void BM_OutlookCalls_CheckMailSpam(benchmark::State& state) {
    Scene scene;
    standins::MailItem* mail = scene.env.outlook.addMail(scene.env.outlook.defaultFolder(6));
    mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(u"Subject: Hello\r\nContent-Type: text/plain\r\n\r\n");
    mail->body = u"body";
    scene.env.spam.vote = [](const Text&, bool) { return 100; };
    const ComPtr<_NameSpace> ns = scene.ns();
    measure(state, [&] {
        _MailItem* variable = mail;  // the caller's own reference
        variable->AddRef();
        double version = 11.0;
        VARIANT_BOOL newMail = VARIANT_TRUE;
        benchmark::DoNotOptimize(scene.object->CheckMail(ns.get(), &variable, &version, &newMail));
        if (variable != nullptr) variable->Release();
    });
}
BENCHMARK(BM_OutlookCalls_CheckMailSpam)->Unit(benchmark::kMicrosecond);

// The contact list of a contacts folder of N contacts with one SMTP address
// each, names included.
void BM_OutlookCalls_GetContactlist(benchmark::State& state) {
    Scene scene;
    standins::Folder* contacts = scene.env.outlook.defaultFolder(10);
    for (std::int64_t i = 0; i < state.range(0); ++i) {
        standins::ContactItem* c = scene.env.outlook.addContact(contacts, u"Some One");
        c->address[0] = u"some.one@example.org";
        c->addressType[0] = u"SMTP";
    }
    measure(state, [&] {
        VARIANT_BOOL withName = VARIANT_TRUE;
        BSTR list = nullptr;
        benchmark::DoNotOptimize(scene.object->GetContactlist(&withName, &list));
        SysFreeString(list);
    });
}
BENCHMARK(BM_OutlookCalls_GetContactlist)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
