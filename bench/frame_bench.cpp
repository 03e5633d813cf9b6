// The cost of one public call with the in-process stand-ins: GetProfileName
// through the vtable and through IDispatch::Invoke by DISPID, beside one
// procedure frame and one step whose failure is ignored on their own.
#include <benchmark/benchmark.h>

#include "errorcapture/frame.h"
#include "functions/Functions.h"
#include "functions/FunctionsObject.h"
#include "functions/identity.h"
#include "platform/classtable.h"
#include "server/classtable.h"
#include "standins/environment.h"

namespace {

using platform::ComPtr;
using platform::Text;

ComPtr<_Functions> createFunctions() {
    kw::registerFunctionsClass();
    CLSID clsid{};
    CLSIDFromProgID(platform::ole(Text(kw::identity::kProgId)), &clsid);
    ComPtr<_Functions> object;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kw::identity::IID__Functions, object.putVoid());
    return object;
}

void BM_PublicCall_Vtable(benchmark::State& state) {
    standins::Environment env;
    standins::log().recording = false;
    {
        ComPtr<_Functions> object = createFunctions();
        for (auto _ : state) {
            BSTR name = nullptr;
            benchmark::DoNotOptimize(object->GetProfileName(&name));
            SysFreeString(name);
        }
    }
    kw::releaseThreadOutlookApplication();
    platform::clearClassTable();
}
BENCHMARK(BM_PublicCall_Vtable);

void BM_PublicCall_InvokeByDispid(benchmark::State& state) {
    standins::Environment env;
    standins::log().recording = false;
    {
        ComPtr<_Functions> object = createFunctions();
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        for (auto _ : state) {
            VARIANT result;
            VariantInit(&result);
            UINT argError = 0;
            benchmark::DoNotOptimize(object->Invoke(kw::identity::dispid::GetProfileName, IID_NULL, LOCALE_USER_DEFAULT,
                                                    DISPATCH_METHOD, &none, &result, nullptr, &argError));
            VariantClear(&result);
        }
    }
    kw::releaseThreadOutlookApplication();
    platform::clearClassTable();
}
BENCHMARK(BM_PublicCall_InvokeByDispid);

void BM_ProcedureFrame(benchmark::State& state) {
    std::int32_t local = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            kw::Procedure(kw::modules::General, u"Sample", kw::Site::here()).locals({KW_VAR(local)}).run([&] {
                return ++local;
            }));
}
BENCHMARK(BM_ProcedureFrame);

void BM_IgnoredStep(benchmark::State& state) {
    std::int32_t local = 0;
    for (auto _ : state) benchmark::DoNotOptimize(kw::ignoringFailure([&] { ++local; }));
}
BENCHMARK(BM_IgnoredStep);

}  // namespace
