// The one header through which the component sees COM and OLE Automation.
// On Windows it is the Windows SDK; elsewhere it is our own small layer with
// the same names, types and contracts (platform/posix/comdefs.h).
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#else
#include "platform/posix/comdefs.h"
#endif
