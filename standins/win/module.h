// KWStandins.dll, the stand-ins as an in-process COM server: one stand-in
// environment for the whole process, made when a stand-in is first needed,
// and the control object through which a script lays it out and reads it.
#pragma once

#include "platform/guid.h"
#include "standins/environment.h"

namespace standins::win {

inline constexpr CLSID CLSID_Control = platform::makeGuid("6C1F3A52-0B7E-4F1D-9E21-3A5C7D9B1E10");
inline constexpr char16_t kControlProgId[] = u"KWStandins.Control";

// The process's environment, made on first use.
Environment& sharedEnvironment();
// Takes the environment down (the next use makes a fresh one).
void finishSharedEnvironment();

// A new control object (KWStandins.Control).
HRESULT createControl(REFIID riid, void** ppv);

}  // namespace standins::win
