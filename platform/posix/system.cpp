#include "platform/system.h"

namespace platform {

Text systemMessage(HRESULT hr) {
    struct Known {
        HRESULT hr;
        const char16_t* text;
    };
    // The texts Windows gives for the codes COM components commonly return.
    static constexpr Known known[] = {
        {E_NOINTERFACE, u"No such interface supported"},
        {E_POINTER, u"Invalid pointer"},
        {E_ABORT, u"Operation aborted"},
        {E_FAIL, u"Unspecified error"},
        {E_UNEXPECTED, u"Catastrophic failure"},
        {E_ACCESSDENIED, u"Access is denied."},
        {E_OUTOFMEMORY, u"Not enough memory resources are available to complete this operation."},
        {E_INVALIDARG, u"The parameter is incorrect."},
        {CLASS_E_NOAGGREGATION, u"Class does not support aggregation (or class object is remote)"},
        {CLASS_E_CLASSNOTAVAILABLE, u"ClassFactory cannot supply requested class"},
        {REGDB_E_CLASSNOTREG, u"Class not registered"},
        {CO_E_CLASSSTRING, u"Invalid class string"},
        {DISP_E_UNKNOWNINTERFACE, u"Unknown interface."},
        {DISP_E_MEMBERNOTFOUND, u"Member not found."},
        {DISP_E_PARAMNOTFOUND, u"Parameter not found."},
        {DISP_E_TYPEMISMATCH, u"Type mismatch."},
        {DISP_E_UNKNOWNNAME, u"Unknown name."},
        {DISP_E_NONAMEDARGS, u"No named arguments."},
        {DISP_E_BADVARTYPE, u"Bad variable type."},
        {DISP_E_EXCEPTION, u"Exception occurred."},
        {DISP_E_OVERFLOW, u"Out of present range."},
        {DISP_E_BADINDEX, u"Invalid index."},
        {DISP_E_BADPARAMCOUNT, u"Invalid number of parameters."},
        {DISP_E_PARAMNOTOPTIONAL, u"Parameter not optional."},
        {TYPE_E_ELEMENTNOTFOUND, u"Element not found."},
    };
    for (const Known& k : known)
        if (k.hr == hr) return k.text;
    return Text();
}

HRESULT componentTypeInfo(const IID&, ITypeInfo** info) {
    *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
}

}  // namespace platform
