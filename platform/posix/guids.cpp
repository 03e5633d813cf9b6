// The standard interface identifiers, with their Windows values.
#include <cstring>

#include "platform/guid.h"

using platform::makeGuid;

bool operator==(const GUID& a, const GUID& b) noexcept { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
bool IsEqualGUID(REFGUID a, REFGUID b) noexcept { return a == b; }

const GUID GUID_NULL{};
const IID IID_NULL{};
const IID IID_IUnknown = makeGuid("00000000-0000-0000-C000-000000000046");
const IID IID_IDispatch = makeGuid("00020400-0000-0000-C000-000000000046");
const IID IID_IEnumVARIANT = makeGuid("00020404-0000-0000-C000-000000000046");
const IID IID_ITypeInfo = makeGuid("00020401-0000-0000-C000-000000000046");
const IID IID_IErrorInfo = makeGuid("1CF2B120-547D-101B-8E65-08002B2BD119");
const IID IID_ICreateErrorInfo = makeGuid("22F03340-547D-101B-8E65-08002B2BD119");
const IID IID_ISupportErrorInfo = makeGuid("DF0B3D60-548F-101B-8E65-08002B2BD119");
const IID IID_IClassFactory = makeGuid("00000001-0000-0000-C000-000000000046");
const IID IID_IRecordInfo = makeGuid("0000002F-0000-0000-C000-000000000046");
