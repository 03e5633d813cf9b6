// The stand-ins' class table on Windows, as the stand-ins' own COM DLL uses
// it: its DllGetClassObject serves the classes of the table instead of each
// being registered in the process, and its own registration writes their
// ProgIDs.
#pragma once

#include "platform/classtable.h"

namespace standins::win {

// From now on a registered class only goes into the table (no class object
// registered in the process, no ProgID written); createInstance makes its
// objects.
void serveFromModule();
// Makes an object of a class in the table; CLASS_E_CLASSNOTAVAILABLE for a
// class that is not (or no longer) there.
HRESULT createInstance(REFCLSID clsid, REFIID riid, void** ppv);
// A class object whose CreateInstance calls make (one reference).
IClassFactory* newClassFactory(platform::ClassFactoryFn make);
// Class objects alive and server locks held: what keeps the module loaded.
long classObjectsInUse();

}  // namespace standins::win
