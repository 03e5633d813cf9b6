// The fixture of tests that drive the component through the stand-ins: a
// fresh environment and class table per test, and at the end a check that
// every stand-in object was released and no stand-in saw a call it does not
// answer.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "functions/Functions.h"
#include "errorcapture/frame.h"
#include "functions/FunctionsObject.h"
#include "platform/classtable.h"
#include "server/classtable.h"
#include "standins/environment.h"

namespace kwtest {

using platform::ComPtr;
using platform::Boolean;
using platform::Text;
using platform::Variant;

// The module of the tests' own sample procedures.
inline constexpr kw::Module kSample{u"Sample"};
// What a public method that reported its failure returns.
inline constexpr HRESULT kFailed65535 = static_cast<HRESULT>(0x800AFFFFu);
// The reports written, innermost first: procedure and error number.
using Chain = std::vector<std::pair<Text, std::int32_t>>;

class StandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.emplace();
        kw::registerFunctionsClass();
    }
    void TearDown() override {
        EXPECT_TRUE(standins::log().unexpected().empty()) << standins::log().unexpected().front();
        kw::releaseThreadOutlookApplication();
        env_.reset();
        platform::clearClassTable();
        EXPECT_EQ(standins::liveObjects().load(), 0) << "a stand-in object was not released";
        EXPECT_EQ(kw::FunctionsObject::liveObjects(), 0) << "a Functions object was not released";
        EXPECT_FALSE(std::current_exception()) << "an exception is still registered as being handled";
        EXPECT_FALSE(platform::takeReleaseFault()) << "a fault in a release was never raised";
    }

    standins::Environment& env() { return *env_; }
    standins::OutlookWorld& outlook() { return env_->outlook; }
    standins::CallLog& calls() { return standins::log(); }

    // A Functions object made the way the add-in makes it: by ProgID.
    ComPtr<_Functions> create() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(platform::ole(Text(kw::identity::kProgId)), &clsid), S_OK);
        ComPtr<_Functions> object;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kw::identity::IID__Functions, object.putVoid()), S_OK);
        return object;
    }
    static kw::Functions& model(const ComPtr<_Functions>& object) {
        return static_cast<kw::FunctionsObject*>(object.get())->model();
    }
    // The namespace stand-in as the add-in passes it.
    ComPtr<_NameSpace> ns() { return ComPtr<IDispatch>::share(outlook().ns()).query<_NameSpace>(); }
    // A mail item as the add-in holds it: a reference of the caller's own.
    static ComPtr<_MailItem> mailRef(standins::MailItem* item) {
        return ComPtr<IDispatch>::share(item).query<_MailItem>();
    }
    // GetProfileName: the simplest method that attaches to Outlook.
    static Text profileName(_Functions* object) {
        platform::Bstr name;
        EXPECT_EQ(object->GetProfileName(name.put()), S_OK);
        return name.text();
    }
    Chain reportChain() {
        Chain chain;
        for (const auto& r : env_->reports) chain.emplace_back(r.procedure, r.number);
        return chain;
    }

private:
    std::optional<standins::Environment> env_;
};

}  // namespace kwtest
