// Factories of the mail helper stand-ins (each returns one reference).
#pragma once

struct IUnknown;

namespace standins {

IUnknown* newKWMailItem();
IUnknown* newKWContactItem();
IUnknown* newKWMAPIUtils();

}  // namespace standins
