// Where there is no COM registry, the host puts Functions into the process's
// class table under its CLSID and ProgID.
#include "server/classtable.h"

#include "functions/FunctionsObject.h"
#include "platform/classtable.h"

namespace kw {

void registerFunctionsClass() {
    platform::registerClass(identity::CLSID_Functions, identity::kProgId, &FunctionsObject::create);
}

}  // namespace kw
