// The exports of KWStandins.dll. Its class objects serve the stand-in classes
// under the CLSIDs and ProgIDs the component creates, from the one
// environment of the process, and the control object. The module stays
// loaded while the environment exists, so that what a script laid out
// lasts until it finishes the environment; registration writes exactly the
// classes' CLSID and ProgID keys below HKEY_CLASSES_ROOT.
#include "standins/win/module.h"

#include <utility>

#include "server/registry.h"
#include "standins/win/classtable.h"

namespace standins::win {

namespace {

// Never destroyed at unload: the module unloads only once it is gone, and at
// the process's exit the tables it would revoke from may be gone before it.
Environment* gEnvironment = nullptr;

// Every class of the module: the stand-ins' and the control's.
struct Registered {
    CLSID clsid;
    Text name, progId;
};
std::vector<Registered> moduleClasses() {
    std::vector<Registered> classes{{CLSID_Control, kControlProgId, kControlProgId}};
    for (const StandInClass& c : standInClasses()) {
        const Text progId(c.progId), name(c.name, c.name + std::char_traits<char>::length(c.name));
        classes.push_back({c.clsid, progId.empty() ? name : progId, progId});
    }
    return classes;
}

std::vector<Text> moduleKeys() {
    std::vector<Text> keys;
    for (const Registered& c : moduleClasses()) {
        keys.push_back(kw::registration::classKey(c.clsid));
        if (!c.progId.empty()) keys.push_back(c.progId);
    }
    return keys;
}

HRESULT registerModule() {
    Text path;
    HRESULT hr = kw::server::modulePath(path);
    for (const Registered& c : moduleClasses())
        if (SUCCEEDED(hr)) hr = kw::server::writeValues(kw::registration::inprocClassValues(c.clsid, c.name, c.progId, path));
    return hr;
}

bool isStandIn(REFCLSID clsid) {
    for (const StandInClass& c : standInClasses())
        if (c.clsid == clsid) return true;
    return false;
}

}  // namespace

Environment& sharedEnvironment() {
    if (gEnvironment == nullptr) gEnvironment = new Environment();
    return *gEnvironment;
}

void finishSharedEnvironment() { delete std::exchange(gEnvironment, nullptr); }

}  // namespace standins::win

using namespace standins::win;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kw::server::setModule(module);
        DisableThreadLibraryCalls(module);
        serveFromModule();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    platform::ClassFactoryFn make;
    if (rclsid == CLSID_Control) {
        make = &createControl;
    } else if (isStandIn(rclsid)) {
        make = [clsid = rclsid](REFIID iid, void** object) {
            sharedEnvironment();
            return createInstance(clsid, iid, object);
        };
    } else {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    IClassFactory* factory = newClassFactory(std::move(make));
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return classObjectsInUse() == 0 && gEnvironment == nullptr && standins::liveObjects() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    try {
        const HRESULT hr = registerModule();
        if (FAILED(hr)) kw::server::deleteKeys(moduleKeys());
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    try {
        return kw::server::deleteKeys(moduleKeys());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
