// The variable dump: element layout byte for byte, every variant kind, arrays
// of each shape, objects and collections through small COM fakes that count
// their references.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/safearray.h"
#include "errorcapture/DumpVariable.h"
#include "standins/dispatchobject.h"
#include "support/fake.h"
#include "support/fakeobject.h"
#include "support/reference.h"

namespace {

using kw::ArrayDimensionMissing;
using kw::DumpVariable;
using platform::ComPtr;
using platform::Text;
using platform::Variant;

using kwtest::collection;
using kwtest::Fake;
using kwtest::FakeObject;

class FakeRecordInfo : public Fake<IRecordInfo> {
public:
    explicit FakeRecordInfo(Text name) : name_(std::move(name)) {}
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override {
        *name = platform::allocBstr(name_);
        return S_OK;
    }

private:
    Text name_;
};

Variant array(VARTYPE type, std::vector<SAFEARRAYBOUND> bounds) {
    return Variant::array(type, SafeArrayCreate(type, static_cast<UINT>(bounds.size()), bounds.data()));
}

void put(const Variant& a, std::vector<LONG> index, LONG value) {
    ASSERT_EQ(SafeArrayPutElement(a.get()->parray, index.data(), &value), S_OK);
}

void put(const Variant& a, std::vector<LONG> index, const Variant& value) {
    ASSERT_EQ(SafeArrayPutElement(a.get()->parray, index.data(), const_cast<VARIANT*>(value.get())), S_OK);
}

Variant reference(VARTYPE type, void* target) {
    VARIANT v = kwtest::reference(type, target);
    return Variant::attach(v);
}

Variant date(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DATE;
    v.date = value;
    return Variant::attach(v);
}

// The run-time error a dump passes to its caller.
std::int32_t failureOf(const Text& name, const VARIANT& value, std::int32_t level = 99) {
    try {
        DumpVariable(name, value, level, 4);
    } catch (const kw::RuntimeError& error) {
        return error.number();
    }
    ADD_FAILURE() << "the dump passed no failure on";
    return 0;
}

class DumpVariableTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(standins::liveObjects().load(), 0) << "a fake was not released"; }
};

// One element per value: its text, a marker, or the text of the failure that
// replaced it.
TEST_F(DumpVariableTest, EveryKindOfValueWritesItsElement) {
    LONG number = 50;
    VARIANT_BOOL flag = VARIANT_TRUE;
    Variant x = Variant::text(u"x");
    Variant xRef = reference(VT_VARIANT, x.get());  // passed on twice by reference, as a script host does
    Variant list = kw::textArray({u"x"});
    SAFEARRAY* parray = list.get()->parray;
    IDispatch* nothing = nullptr;
    ComPtr<FakeObject> mailItem = FakeObject::make(u"MailItem");
    IDispatch* held = mailItem.get();
    VARIANT invalid;  // a VARIANT that holds no value of any type
    VariantInit(&invalid);
    invalid.vt = VT_VARIANT;
    VARIANT flagOnly = invalid;  // the array flag alone names no element type: a scalar
    flagOnly.vt = VT_ARRAY;
    VARIANT unsized = invalid;
    unsized.vt = VT_ARRAY | VT_BSTR;
    unsized.parray = nullptr;
    Variant grid = array(VT_I4, {{2, 1}, {1, 0}});  // (1 To 2, 0 To 0)
    put(grid, {1, 0}, 10);
    put(grid, {2, 0}, 20);
    Variant cube = array(VT_I4, {{2, 0}, {1, -1}, {2, 5}});  // (0 To 1, -1 To -1, 5 To 6)
    for (LONG n = 0; n < 4; ++n) put(cube, {n / 2, -1, 5 + n % 2}, n + 1);
    Variant values = array(VT_VARIANT, {{4, 0}});  // elements nest and catch their own failures
    put(values, {0}, date(3.0e6));
    put(values, {1}, Variant::text(u"ok"));
    put(values, {2}, kw::textArray({u"n"}));
    put(values, {3}, Variant::dispatch(nullptr));

    const struct {
        const char16_t* name;
        Variant value;
        std::int32_t indent;
        const char16_t* expected;
    } rows[] = {
        {u"STresHold", Variant::i4(50), 4, u"    <STresHold>50</STresHold>\r\n"},
        {u"A", kw::textArray({u"x", u"y"}), 4,
         u"    <A>\r\n      <A Index=\"0\">x</A>\r\n      <A Index=\"1\">y</A>\r\n    </A>\r\n"},
        // Scalars through the standard conversion to text, written unescaped.
        {u"v", Variant::i2(-7), 4, u"    <v>-7</v>\r\n"},
        {u"v", Variant::boolean(true), 4, u"    <v>True</v>\r\n"},
        {u"v", Variant::boolean(false), 4, u"    <v>False</v>\r\n"},
        {u"v", Variant::r8(2.5), 4, u"    <v>2.5</v>\r\n"},
        {u"v", Variant::text(u""), 4, u"    <v></v>\r\n"},
        {u"v", date(0.5), 4, u"    <v>12:00:00 PM</v>\r\n"},
        {u"s", Variant::text(u"<a & \"b\">"), 4, u"    <s><a & \"b\"></s>\r\n"},
        {u"s", Variant::text(Text(u"a\0b", 3)), 4, u"    <s>a{Null}b</s>\r\n"},
        {u"s", Variant::text(Text(u"\0\0", 2) + u"\xD800"), 4, u"    <s>{Null}{Null}\xD800</s>\r\n"},
        {u"My Var", Variant::i4(1), 2, u"  <My Var>1</My>\r\n"},
        {u"x", Variant::i4(1), 0, u"<x>1</x>\r\n"},
        // Markers.
        {u"v", Variant(), 4, u"    <v>{Empty}</v>\r\n"},
        {u"v", Variant::null(), 4, u"    <v>{Null}</v>\r\n"},
        {u"Optional", Variant::missing(), 4, u"    <Optional></Optional>\r\n"},
        {u"v", Variant::unknown(nullptr), 4, u"    <v>{Nothing}</v>\r\n"},
        {u"v", Variant::dispatch(nullptr), 4, u"    <v>{Nothing}</v>\r\n"},
        {u"v", Variant::unknown(mailItem.get()), 4, u"    <v>{DataObject}</v>\r\n"},
        // References are looked through.
        {u"n", reference(VT_I4, &number), 4, u"    <n>50</n>\r\n"},
        {u"b", reference(VT_BOOL, &flag), 4, u"    <b>True</b>\r\n"},
        {u"s", reference(VT_VARIANT, xRef.get()), 4, u"    <s>x</s>\r\n"},
        {u"A", reference(static_cast<VARTYPE>(VT_ARRAY | VT_BSTR), &parray), 4,
         u"    <A>\r\n      <A Index=\"0\">x</A>\r\n    </A>\r\n"},
        {u"o", reference(VT_DISPATCH, &nothing), 4, u"    <o>{Nothing}</o>\r\n"},
        // Formatting failures replace the whole element.
        {u"n", reference(VT_I4, nullptr), 4, u"{Error -2147467261 formatting for output}"},
        {u"When", date(3.0e6), 4, u"{Error 5 formatting for output}"},
        {u"v", Variant::attach(invalid), 4, u"{Error 13 formatting for output}"},
        {u"v", Variant::attach(flagOnly), 4, u"{Error 13 formatting for output}"},
        // Arrays of each shape.
        {u"A", Variant::attach(unsized), 4, u"    <A>\r\n{UnInitialised Array}    </A>\r\n"},
        {u"A", kw::textArray({}), 4, u"    <A>\r\n    </A>\r\n"},
        {u"G", grid, 4, u"    <G>\r\n      <G Index=\"1,0\">10</G>\r\n      <G Index=\"2,0\">20</G>\r\n    </G>\r\n"},
        {u"C", cube, 4,
         u"    <C>\r\n      <C Index=\"0,-1,5\">1</C>\r\n      <C Index=\"0,-1,6\">2</C>\r\n"
         u"      <C Index=\"1,-1,5\">3</C>\r\n      <C Index=\"1,-1,6\">4</C>\r\n    </C>\r\n"},
        {u"H", array(VT_I4, {{1, 0}, {1, 0}, {1, 0}, {1, 0}}), 4, u"    <H>\r\n{Dump truncated at 4 dimensions}    </H>\r\n"},
        {u"H", array(VT_BSTR, {{1, 0}, {2, 0}, {1, 0}, {1, 0}, {3, 1}}), 4,
         u"    <H>\r\n{Dump truncated at 5 dimensions}    </H>\r\n"},
        {u"V", values, 4,
         u"    <V>\r\n{Error 5 formatting for output}      <V Index=\"1\">ok</V>\r\n      <V Index=\"2\">\r\n"
         u"        <V Index=\"2\" Index=\"0\">n</V>\r\n      </V>\r\n      <V Index=\"3\">{Nothing}</V>\r\n    </V>\r\n"},
        // Objects that are no collection are named by their type; collection
        // items are numbered from one.
        {u"f", FakeObject::make(u"MAPIFolder", FakeObject::Answer::Empty)->variant(), 4, u"    <f>{MAPIFolder}</f>\r\n"},
        {u"o", FakeObject::make(std::nullopt)->variant(), 4, u"    <o>{Object}</o>\r\n"},
        {u"cFolder", collection({Variant::text(u"Inbox"), Variant::i4(2)})->variant(), 4,
         u"    <cFolder>\r\n      <cFolder[1]>Inbox</cFolder[1]>\r\n      <cFolder[2]>2</cFolder[2]>\r\n    </cFolder>\r\n"},
        {u"c", collection({})->variant(), 4, u"    <c>\r\n    </c>\r\n"},
        {u"c", collection({date(3.0e6), Variant::text(u"b")})->variant(), 4,
         u"    <c>\r\n{Error 5 formatting for output}      <c[2]>b</c[2]>\r\n    </c>\r\n"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DumpVariable(row.name, *row.value, 99, row.indent), row.expected) << "type " << row.value.type();
    EXPECT_TRUE(mailItem->invoked.empty()) << "a plain IUnknown is not probed";
    EXPECT_EQ(DumpVariable(u"o", *reference(VT_DISPATCH, &held), 99, 4), u"    <o>{MailItem}</o>\r\n");

    auto info = ComPtr<FakeRecordInfo>::attach(new FakeRecordInfo(u"FolderInfo"));
    int record = 0;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_RECORD;
    v.pvRecord = &record;
    v.pRecInfo = info.get();
    EXPECT_EQ(DumpVariable(u"mRecord", v, 99, 4), u"    <mRecord>{UDT - FolderInfo}</mRecord>\r\n");
}

TEST_F(DumpVariableTest, ArrayDimensionMissingIsSubscriptOutOfRange) {
    EXPECT_TRUE(ArrayDimensionMissing(nullptr, 1));
    Variant list = kw::textArray({u"x"});
    SAFEARRAY* a = list.get()->parray;
    EXPECT_FALSE(ArrayDimensionMissing(a, 1));
    EXPECT_TRUE(ArrayDimensionMissing(a, 2));
    EXPECT_TRUE(ArrayDimensionMissing(a, 0));
    EXPECT_TRUE(ArrayDimensionMissing(a, -1));
}

// Failures a dump cannot take itself reach its caller: an array whose
// elements cannot be read (records need their record information), an
// object's refusal of _NewEnum or an answer that is no enumerator, and a
// failure while enumerating, which also passes through an outer collection
// (inside an item's own dump it is past that item's probe too).
TEST_F(DumpVariableTest, FailuresItCannotTakeReachTheCaller) {
    Variant records = array(VT_I4, {{1, 0}});
    records.get()->vt = VT_ARRAY | VT_RECORD;
    ComPtr<FakeObject> noEnumerator = FakeObject::make(u"Items", FakeObject::Answer::PlainObject);
    noEnumerator->newEnum = FakeObject::Answer::PlainObject;
    ComPtr<FakeObject> failing = collection({Variant::text(u"a"), Variant::text(u"b")});
    failing->failAt = 1;
    failing->failure = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 5);
    const std::pair<Variant, std::int32_t> rows[] = {
        {records, kw::err::TypeMismatch},
        {FakeObject::make(u"Items", FakeObject::Answer::PlainObject)->variant(), kw::errorNumberFromHResult(DISP_E_MEMBERNOTFOUND)},
        {noEnumerator->variant(), kw::err::NoSuchMember},
        {failing->variant(), kw::err::InvalidCall},
        {collection({failing->variant()})->variant(), kw::err::InvalidCall},
    };
    for (const auto& [value, number] : rows) EXPECT_EQ(failureOf(u"v", *value), number);
}

TEST_F(DumpVariableTest, AnObjectIsProbedForItsEnumeratorAndFallsBackToTheStandardOne) {
    ComPtr<FakeObject> refusing = FakeObject::make(u"MailItem");
    EXPECT_EQ(DumpVariable(u"objMail", *refusing->variant(), 99, 4), u"    <objMail>{MailItem}</objMail>\r\n");
    EXPECT_EQ(refusing->invoked, std::vector<DISPID>{DISPID_EVALUATE});
    EXPECT_EQ(refusing->probeArguments, std::vector<Text>{u"_NewEnum"});

    ComPtr<FakeObject> items = FakeObject::make(u"Items", FakeObject::Answer::PlainObject);
    items->items = {Variant::text(u"a")};
    items->newEnum = FakeObject::Answer::Enumerator;
    EXPECT_EQ(DumpVariable(u"objItems", *items->variant(), 99, 4),
              u"    <objItems>\r\n      <objItems[1]>a</objItems[1]>\r\n    </objItems>\r\n");
    EXPECT_EQ(items->invoked, (std::vector<DISPID>{DISPID_EVALUATE, DISPID_NEWENUM}));
}

TEST_F(DumpVariableTest, SelfContainingCollectionStopsAtTheNestingLimit) {
    ComPtr<FakeObject> folders = collection({Variant::text(u"a")});
    folders->selfAt = 1;
    EXPECT_EQ(DumpVariable(u"C", *folders->variant(), 99, 4),
              u"    <C>\r\n"
              u"      <C[1]>a</C[1]>\r\n"
              u"      <C[2]>\r\n"
              u"        <C[2][1]>a</C[2][1]>\r\n"
              u"        <C[2][2]>\r\n"
              u"          <C[2][2][1]>a</C[2][2][1]>\r\n"
              u"          <C[2][2][2]>\r\n"
              u"            <C[2][2][2][1]>a</C[2][2][2][1]>\r\n"
              u"            <C[2][2][2][2]>{Nesting limit reached - Folders}</C[2][2][2][2]>\r\n"
              u"          </C[2][2][2]>\r\n"
              u"        </C[2][2]>\r\n"
              u"      </C[2]>\r\n"
              u"    </C>\r\n");
    EXPECT_EQ(folders->invoked.size(), 4u) << "probed once per opened level, not at the limit";
}

TEST_F(DumpVariableTest, LevelCountsDownThroughArraysToTheNestingLimit) {
    ComPtr<FakeObject> folders = collection({Variant::text(u"a")});
    EXPECT_EQ(DumpVariable(u"C", *folders->variant(), 0, 4), u"    <C>{Nesting limit reached - Folders}</C>\r\n");
    EXPECT_TRUE(folders->invoked.empty());

    Variant holder = array(VT_VARIANT, {{1, 0}});
    put(holder, {0}, folders->variant());
    EXPECT_EQ(DumpVariable(u"V", *holder, 1, 4),
              u"    <V>\r\n      <V Index=\"0\">{Nesting limit reached - Folders}</V>\r\n    </V>\r\n");
    EXPECT_EQ(DumpVariable(u"V", *holder, 2, 4),
              u"    <V>\r\n"
              u"      <V Index=\"0\">\r\n"
              u"        <V Index=\"0\"[1]>a</V>\r\n"
              u"      </V>\r\n"
              u"    </V>\r\n");
}

TEST_F(DumpVariableTest, LargeCollectionDumpsEveryItem) {
    std::vector<Variant> items;
    for (int i = 0; i < 10000; ++i) items.push_back(Variant::i4(i));
    ComPtr<FakeObject> big = collection(std::move(items));
    const Text dump = DumpVariable(u"C", *big->variant(), 99, 4);
    const Text first = u"    <C>\r\n      <C[1]>0</C[1]>\r\n";
    EXPECT_EQ(dump.substr(0, first.size()), first);
    const Text last = u"      <C[10000]>9999</C[10000]>\r\n    </C>\r\n";
    ASSERT_GE(dump.size(), last.size());
    EXPECT_EQ(dump.substr(dump.size() - last.size()), last);
    std::size_t lines = 0;
    for (char16_t c : dump) lines += c == u'\n';
    EXPECT_EQ(lines, 10002u);
}

}  // namespace
