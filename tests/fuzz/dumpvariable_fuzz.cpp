// The variable dump over VARIANT trees built from the input: every scalar
// type with arbitrary bits (Booleans other than 0 and -1, dates far outside
// the calendar, NaN), texts with NULs and lone surrogates, references,
// arrays of one to five dimensions with any lower bounds and any element
// type, and collections holding any of these, each other and themselves.
//
// Whatever the tree, the dump returns text or passes a run-time error on;
// a text dump is the error marker or starts with the indent and ends with a
// line end, and every object is released afterwards.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/runtimeerror.h"
#include "errorcapture/DumpVariable.h"
#include "standins/dispatchobject.h"

namespace {

using platform::ComPtr;
using platform::Text;
using platform::Variant;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

// A collection stand-in: answers the enumerator probe with its items.
class Bag final : public standins::DispatchObject<> {
public:
    explicit Bag(Text typeName) : DispatchObject("Bag", "", std::move(typeName)) {
        collection([this] { return items; });
    }
    std::vector<Variant> items;
};

class Builder {
public:
    explicit Builder(FuzzedDataProvider& in) : in_(in) {}
    ~Builder() {
        // Collections may hold each other: empty them all before letting go.
        for (Bag* bag : bags_) bag->items.clear();
        for (Bag* bag : bags_) bag->release();
    }

    Variant value(int depth) {
        if (--budget_ <= 0 || in_.remaining_bytes() == 0) return Variant::i4(0);
        VARIANT v;
        VariantInit(&v);
        switch (in_.ConsumeIntegralInRange<int>(0, 16)) {
            case 0: return Variant();
            case 1: return Variant::null();
            case 2: return Variant::text(units(64));
            case 3: v.vt = VT_BOOL; v.boolVal = in_.ConsumeIntegral<std::int16_t>(); break;
            case 4: v.vt = VT_R8; v.dblVal = in_.ConsumeFloatingPoint<double>(); break;
            case 5: v.vt = VT_DATE; v.date = in_.ConsumeFloatingPoint<double>(); break;
            case 6: v.vt = VT_R4; v.fltVal = in_.ConsumeFloatingPoint<float>(); break;
            case 7: v.vt = VT_CY; v.cyVal.int64 = in_.ConsumeIntegral<std::int64_t>(); break;
            case 8: randomBytes(&v.decVal, sizeof v.decVal); v.vt = VT_DECIMAL; break;
            case 9: v.vt = VT_ERROR; v.scode = in_.ConsumeIntegral<std::int32_t>(); break;
            case 10: {
                static constexpr VARTYPE kScalars[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8,
                                                       VT_UI8, VT_INT, VT_UINT};
                v.vt = in_.PickValueInArray(kScalars);
                v.llVal = in_.ConsumeIntegral<std::int64_t>();
                break;
            }
            case 11: return Variant::dispatch(nullptr);
            case 12: {
                // A reference to a value that outlives the dump.
                Variant target = depth > 0 ? value(depth - 1) : Variant::i4(1);
                held_.push_back(std::make_unique<VARIANT>(target.detach()));
                v.vt = VT_BYREF | VT_VARIANT;
                v.pvarVal = held_.back().get();
                return Variant::attach(v);
            }
            case 13:
            case 14: if (depth > 0) return array(depth - 1); return Variant::i2(2);
            default: if (depth > 0) return collection(depth - 1); return Variant::i2(3);
        }
        return Variant::attach(v);
    }

private:
    Text units(std::size_t most) {
        const std::string bytes = in_.ConsumeRandomLengthString(most * 2);
        Text text(bytes.size() / 2, u'\0');
        if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * 2);
        return text;
    }
    void randomBytes(void* into, std::size_t size) {
        const std::vector<std::uint8_t> bytes = in_.ConsumeBytes<std::uint8_t>(size);
        if (!bytes.empty()) std::memcpy(into, bytes.data(), bytes.size());
    }

    Variant array(int depth) {
        static constexpr VARTYPE kElements[] = {VT_VARIANT, VT_BSTR, VT_I4, VT_R8, VT_BOOL, VT_DISPATCH};
        const VARTYPE element = in_.PickValueInArray(kElements);
        const UINT dims = in_.ConsumeIntegralInRange<UINT>(1, 5);
        std::vector<SAFEARRAYBOUND> bounds(dims);
        std::size_t cells = 1;
        for (SAFEARRAYBOUND& b : bounds) {
            b.cElements = in_.ConsumeIntegralInRange<ULONG>(0, cells > 64 ? 1 : 4);
            b.lLbound = in_.ConsumeIntegralInRange<LONG>(-3, 3);
            cells *= b.cElements;
        }
        SAFEARRAY* raw = SafeArrayCreate(element, dims, bounds.data());
        if (raw == nullptr) return Variant::i4(-1);
        Variant result = Variant::array(element, raw);
        std::vector<LONG> index(dims);
        for (std::size_t cell = 0; cell < cells && budget_ > 0; ++cell) {
            std::size_t rest = cell;
            for (UINT d = 0; d < dims; ++d) {
                index[d] = bounds[d].lLbound + static_cast<LONG>(rest % bounds[d].cElements);
                rest /= bounds[d].cElements;
            }
            Variant item = value(depth);
            Variant typed;
            if (element == VT_VARIANT) {
                SafeArrayPutElement(raw, index.data(), const_cast<VARIANT*>(item.get()));
            } else if (SUCCEEDED(VariantChangeType(typed.get(), const_cast<VARIANT*>(item.get()), 0, element))) {
                void* cellValue = element == VT_BSTR ? static_cast<void*>(typed.get()->bstrVal)
                                  : element == VT_DISPATCH ? static_cast<void*>(typed.get()->pdispVal)
                                                           : static_cast<void*>(&typed.get()->lVal);
                SafeArrayPutElement(raw, index.data(), cellValue);
            }
        }
        return result;
    }

    Variant collection(int depth) {
        // Now and then the items include a collection made before, or this
        // one itself.
        auto* bag = new Bag(units(8));
        bags_.push_back(bag);
        const int items = in_.ConsumeIntegralInRange<int>(0, 4);
        for (int i = 0; i < items && budget_ > 0; ++i) {
            if (in_.ConsumeIntegralInRange<int>(0, 3) == 0) bag->items.push_back(
                    standins::objectVariant(bags_[in_.ConsumeIntegralInRange<std::size_t>(0, bags_.size() - 1)]));
            else bag->items.push_back(value(depth));
        }
        return standins::objectVariant(bag);
    }

    FuzzedDataProvider& in_;
    int budget_ = 300;
    std::vector<Bag*> bags_;
    std::vector<std::unique_ptr<VARIANT>> held_;

public:
    void clearHeld() {
        for (auto& v : held_) VariantClear(v.get());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    standins::log().recording = false;  // the log would grow with every input
    {
        Builder build(in);
        const std::int32_t level = in.ConsumeIntegralInRange<std::int32_t>(-1, 99);
        const std::int32_t indent = in.ConsumeIntegralInRange<std::int32_t>(0, 8);
        const Text name(u"v");
        {
            const Variant value = build.value(5);
            try {
                const Text dump = kw::DumpVariable(name, *value, level, indent);
                // A value that cannot be named, classified or converted
                // gives one marker in place of the whole dump.
                const Text pad(static_cast<std::size_t>(indent), u' ');
                if (dump.starts_with(u"{Error ")) require(dump.ends_with(u" formatting for output}"));
                else require(dump.starts_with(pad) && dump.size() >= pad.size() + 2 && dump.ends_with(u"\r\n"));
            } catch (const kw::RuntimeError&) {
            }
        }
        build.clearHeld();
    }
    require(standins::liveObjects().load() == 0);
    return 0;
}
