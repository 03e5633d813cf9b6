#include "errorcapture/DumpVariable.h"

#include <algorithm>
#include <limits>
#include <new>

#include "core/safearray.h"
#include "errorcapture/frame.h"
#include "outside/latebound.h"

namespace kw {

namespace {

constexpr TextView kCrLf = u"\r\n";

// Items of an enumerable object are dumped at this level.
constexpr std::int32_t kItemLevel = 3;

// An array holds at most this many dimensions in the dump.
constexpr std::int32_t kMostDimensions = 3;

void appendDecimal(Text& out, std::int64_t number) {
    char16_t digits[20];
    int count = 0;
    std::uint64_t magnitude = number < 0 ? 0 - static_cast<std::uint64_t>(number) : static_cast<std::uint64_t>(number);
    do {
        digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) out += u'-';
    while (count > 0) out += digits[--count];
}

void appendPad(Text& out, std::int32_t indent) {
    if (indent > 0) out.append(static_cast<std::size_t>(indent), u' ');
}

// Pad + "<" + name + ">"
void appendOpening(Text& out, const Text& name, std::int32_t indent) {
    appendPad(out, indent);
    out += u'<';
    out += name;
    out += u'>';
}

// "</" + tag + ">" + CRLF
void appendClosing(Text& out, TextView tag) {
    out += u"</";
    out += tag;
    out += u'>';
    out += kCrLf;
}

// The text with every NUL written "{Null}".
void appendWithNulls(Text& out, TextView text) {
    std::size_t from = 0;
    for (std::size_t nul = text.find(u'\0'); nul != TextView::npos; nul = text.find(u'\0', from)) {
        out.append(text.substr(from, nul - from));
        out += u"{Null}";
        from = nul + 1;
    }
    out.append(text.substr(from));
}

// The element name up to its first space: the closing tag leaves out the
// attribute that array elements carry after their name.
TextView tagOf(const Text& name) { return TextView(name).substr(0, name.find(u' ')); }

// One level below `level`, without wrapping below the smallest 32-bit value.
std::int32_t deeper(std::int32_t level) { return std::max(level, std::numeric_limits<std::int32_t>::min() + 1) - 1; }

// Runs the part of a dump whose failures are written as the element's own
// text: whatever it appended is replaced by "{Error n formatting for output}"
// (no indentation, tags or line break) and the dump goes on. False when that
// happened.
template <class Step>
bool formatting(Text& out, Step&& step) {
    const std::size_t start = out.size();
    std::int32_t number = 0;
    try {
        step();
        return true;
    } catch (const RuntimeError& failure) {
        number = failure.number();
    } catch (const std::bad_alloc&) {
        number = err::OutOfMemory;
    }
    out.resize(start);
    out += u"{Error ";
    appendDecimal(out, number);
    out += u" formatting for output}";
    return false;
}

// The object a VARIANT result holds, or null when it holds none.
IUnknown* objectIn(const VARIANT& v) { return v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN ? v.punkVal : nullptr; }

ComPtr<IEnumVARIANT> asEnumerator(IUnknown* object) {
    ComPtr<IEnumVARIANT> items;
    if (object == nullptr || FAILED(object->QueryInterface(IID_IEnumVARIANT, items.putVoid()))) items.reset();
    return items;
}

// The class name an object's type information gives it. The type
// information describes the object's default interface, whose name is the
// class name with a leading underscore ("_MailItem" for a MailItem); the
// underscore is dropped, as the run time's own type names drop it. An object
// that offers no type information (or no name in it) is called "Object", the
// generic name of its kind: the name is read after the probe, where failures
// would no longer be caught, and a missing name must not cost the report.
Text typeNameOf(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    Bstr name;
    if (SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) && info &&
        SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr)) && name.length() > 0) {
        Text text = name.text();
        if (text.size() > 1 && text.front() == u'_') text.erase(0, 1);
        return text;
    }
    return u"Object";
}

Text recordNameOf(IRecordInfo* info) {
    if (info == nullptr) raise(err::ObjectNotSet);
    Bstr name;
    check(info->GetName(name.put()));
    return name.text();
}

void dumpInto(Text& out, const Text& name, const VARIANT& variable, std::int32_t level, std::int32_t indent);

// A copy of one element of an array whose elements are of type `type`, as a
// VARIANT of that type. VARIANT elements, and DECIMAL ones (which overlay a
// whole VARIANT), are read into the VARIANT itself, every other type into its
// value field. An array whose element storage does not fit its declared type
// (records among them, which need their record information) is a type
// mismatch.
Variant elementAt(SAFEARRAY* array, VARTYPE type, LONG* indices) {
    Variant element;
    VARIANT* slot = element.put();
    const bool whole = type == VT_VARIANT || type == VT_DECIMAL;
    void* target = whole ? static_cast<void*>(slot) : static_cast<void*>(&slot->llVal);
    const auto offset = static_cast<std::size_t>(static_cast<char*>(target) - reinterpret_cast<char*>(slot));
    const std::size_t room = sizeof(VARIANT) - offset;
    const std::size_t size = SafeArrayGetElemsize(array);
    if (type == VT_RECORD || size > room || (type == VT_VARIANT && size != sizeof(VARIANT))) raise(err::TypeMismatch);
    check(SafeArrayGetElement(array, indices, target));
    if (type != VT_VARIANT) slot->vt = type;
    return element;
}

// The number of dimensions: one less than the first dimension whose lower
// bound cannot be had. Past the dimensions the dump writes, the count only
// names the truncation, so it goes on until a request fails.
std::int32_t dimensionCount(SAFEARRAY* array) {
    std::uint32_t dimension = 1;
    while (ignoringFailure([&] { lowerBound(array, dimension); })) ++dimension;
    return static_cast<std::int32_t>(dimension - 1);
}

// The elements of an array of one to three dimensions, in index order with
// the last dimension varying fastest, each named N + ` Index="i,j,k"`. Each
// dimension is checked for a lower bound before it is walked; a dimension that
// was counted always has one, so "{UnInitialised Array Dimension n}" is only
// written for an array that changes its shape while it is dumped.
class ArrayWalk {
public:
    ArrayWalk(Text& out, const Text& name, SAFEARRAY* array, VARTYPE type, std::int32_t dimensions,
              std::int32_t level, std::int32_t indent)
        : out_(out), name_(name), array_(array), type_(type), dimensions_(dimensions), level_(level), indent_(indent) {}

    // Dimension D of the array, and the dimensions after it.
    template <std::int32_t D>
    void dimension() {
        if (ArrayDimensionMissing(array_, D)) {
            if constexpr (D == 1) {
                out_ += u"{UnInitialised Array}";
            } else {
                out_ += u"{UnInitialised Array Dimension ";
                appendDecimal(out_, D);
                out_ += u'}';
            }
            return;
        }
        const std::int64_t lower = lowerBound(array_, D);
        const std::int64_t upper = upperBound(array_, D);
        for (std::int64_t i = lower; i <= upper; ++i) {
            indices_[D - 1] = static_cast<LONG>(i);
            if constexpr (D < kMostDimensions) {
                if (D < dimensions_) {
                    dimension<D + 1>();
                    continue;
                }
            }
            element();
        }
    }

private:
    void element() {
        elementName_.assign(name_);
        elementName_ += u" Index=\"";
        for (std::int32_t k = 0; k < dimensions_; ++k) {
            if (k > 0) elementName_ += u',';
            appendDecimal(elementName_, indices_[k]);
        }
        elementName_ += u'"';
        const Variant value = elementAt(array_, type_, indices_);
        dumpInto(out_, elementName_, *value, deeper(level_), indent_ + 2);
    }

    Text& out_;
    const Text& name_;
    SAFEARRAY* array_;
    VARTYPE type_;
    std::int32_t dimensions_;
    std::int32_t level_;
    std::int32_t indent_;
    LONG indices_[kMostDimensions] = {};
    Text elementName_;
};

// The body and closing line of an array whose opening line is written.
//
// An array of four or more dimensions writes, in place of its elements, the
// marker "{Dump truncated at n dimensions}" with n its number of dimensions,
// in the way "{UnInitialised Array}" stands for the elements of an unsized
// one: the element stays well formed and the report goes on.
void dumpArray(Text& out, const Text& name, TextView tag, SAFEARRAY* array, VARTYPE type, std::int32_t level,
               std::int32_t indent) {
    const std::int32_t dimensions = dimensionCount(array);
    if (dimensions > kMostDimensions) {
        out += u"{Dump truncated at ";
        appendDecimal(out, dimensions);
        out += u" dimensions}";
    } else {
        ArrayWalk(out, name, array, type, dimensions, level, indent).dimension<1>();
    }
    appendPad(out, indent);
    appendClosing(out, tag);
}

// The enumerator a collection is walked with: the probe's answer when that is
// an enumerator itself; otherwise the object's standard enumerator, its
// _NewEnum member (DISPID_NEWENUM), which is what enumerating the variable's
// object asks it for. An object that has neither cannot be enumerated (438).
ComPtr<IEnumVARIANT> enumeratorFor(IUnknown* answer, const ComPtr<IDispatch>& object) {
    if (ComPtr<IEnumVARIANT> items = asEnumerator(answer)) return items;
    const Variant standard = LateBound(object).invoke(DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr,
                                                      0, false, Site::here());
    ComPtr<IEnumVARIANT> items = asEnumerator(objectIn(*standard));
    if (!items) raise(err::NoSuchMember);
    return items;
}

// The rest of an object's element after its opening tag: a collection when
// the object answers the probe with an object, else its type name.
//
// Items are dumped at level 3, or at one less than the collection's own level
// when that is lower, and an object is probed only while its level is above
// 0 (dumpInto writes the nesting marker instead). A collection that contains
// itself, directly or through other collections, is therefore opened at most
// four times below a top-level variable, and its copy at level 0 is written
// as "{Nesting limit reached - " + type name + "}".
void dumpObject(Text& out, const Text& name, TextView tag, IDispatch* object, std::int32_t level,
                std::int32_t indent) {
    const ComPtr<IDispatch> target = ComPtr<IDispatch>::share(object);
    const Variant argument = Variant::text(u"_NewEnum");
    Variant answer;
    ignoringFailure([&] {
        answer = LateBound(target).invoke(DISPID_EVALUATE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &argument, 1, false,
                                          Site::here());
    });
    IUnknown* collection = objectIn(*answer);
    if (collection == nullptr) {
        out += u'{';
        out += typeNameOf(object);
        out += u'}';
    } else {
        out += kCrLf;
        const ComPtr<IEnumVARIANT> items = enumeratorFor(collection, target);
        const std::int32_t itemLevel = std::min(kItemLevel, deeper(level));
        Text itemName;
        for (std::int64_t counter = 1;; ++counter) {
            Variant item;
            ULONG fetched = 0;
            const HRESULT hr = items->Next(1, item.put(), &fetched);
            check(hr, items);
            if (fetched == 0) break;
            itemName.assign(name);
            itemName += u'[';
            appendDecimal(itemName, counter);
            itemName += u']';
            dumpInto(out, itemName, *item, itemLevel, indent + 2);
            if (hr != S_OK) break;
        }
        appendPad(out, indent);
    }
    appendClosing(out, tag);
}

void dumpInto(Text& out, const Text& name, const VARIANT& variable, std::int32_t level, std::int32_t indent) {
    TextView tag;
    const VARIANT* value = nullptr;
    SAFEARRAY* array = nullptr;
    IDispatch* object = nullptr;
    const bool formatted = formatting(out, [&] {
        tag = tagOf(name);
        value = &platform::throughVariantRefs(variable);
        const bool byRef = (value->vt & VT_BYREF) != 0;
        if (byRef && value->byref == nullptr) check(E_POINTER);
        const auto type = static_cast<VARTYPE>(value->vt & ~VT_BYREF);
        appendOpening(out, name, indent);
        // A type code above VT_ARRAY is an array; VT_ARRAY alone names no
        // element type and is taken as a scalar, whose conversion fails.
        if (type > VT_ARRAY) {
            array = byRef ? *value->pparray : value->parray;
            out += kCrLf;
            return;
        }
        switch (type) {
            case VT_EMPTY: out += u"{Empty}"; break;
            case VT_NULL: out += u"{Null}"; break;
            case VT_ERROR: break;
            case VT_UNKNOWN:
                out += (byRef ? *value->ppunkVal : value->punkVal) == nullptr ? u"{Nothing}" : u"{DataObject}";
                break;
            case VT_RECORD:
                out += u"{UDT - ";
                out += recordNameOf(value->pRecInfo);
                out += u'}';
                break;
            case VT_DISPATCH:
                object = byRef ? *value->ppdispVal : value->pdispVal;
                if (object == nullptr) {
                    out += u"{Nothing}";
                } else if (level <= 0) {
                    out += u"{Nesting limit reached - ";
                    out += typeNameOf(object);
                    out += u'}';
                    object = nullptr;
                } else {
                    return;  // probed below, where failures are no longer caught
                }
                break;
            default: appendWithNulls(out, asText(*value)); break;
        }
        appendClosing(out, tag);
    });
    if (!formatted) return;
    if (array != nullptr || static_cast<VARTYPE>(value->vt & ~VT_BYREF) > VT_ARRAY)
        dumpArray(out, name, tag, array, static_cast<VARTYPE>(value->vt & VT_TYPEMASK), level, indent);
    else if (object != nullptr) dumpObject(out, name, tag, object, level, indent);
}

}  // namespace

Text DumpVariable(const Text& VariableName, const VARIANT& VariableValue, std::int32_t Level, std::int32_t Indent) {
    Text result;
    dumpInto(result, VariableName, VariableValue, Level, Indent);
    return result;
}

bool ArrayDimensionMissing(SAFEARRAY* ArrayValue, std::int32_t Dimension) {
    // The request's failures are ignored; only which failure it was matters.
    try {
        lowerBound(ArrayValue, static_cast<std::uint32_t>(Dimension));
        return false;
    } catch (const RuntimeError& failure) {
        return failure.number() == err::SubscriptOutOfRange;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace kw
