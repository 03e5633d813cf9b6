// What every stand-in shares: one ordered log of the calls made on any of
// them, failures on demand, and a count of live stand-in objects.
//
// A call is logged as "Component.Member(arg, arg)"; a failure is planned for
// "Component.Member" (or "Component(name).Member" for one named object) and
// fires once or from the Nth call on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"
#include "platform/strings.h"

namespace standins {

using platform::Text;

// UTF-8 form of UTF-16 text, for logs and test messages.
std::string utf8(platform::TextView text);
// The way a call log shows one text argument (nothing while the log is not
// recording).
std::string quoted(platform::TextView text);

struct Failure {
    HRESULT hr = E_FAIL;
    int fromCall = 1;   // the first call (1-based) that fails
    bool once = true;   // fail only that call, or every call from it on
    Text description;   // error information to hand out; empty for none
    Text source;
    bool fault = false; // a processor fault (a null-pointer write) inside the call instead
};

class CallLog {
public:
    // Records a call and tells whether it must fail. `key` is
    // "Component.Member"; `named` is "Component(name).Member" or empty.
    const Failure* enter(const std::string& key, const std::string& named, const std::string& args);
    // Counts one GetIDsOfNames and tells whether it must fail; not logged as
    // a call. Its failures are planned for "GetIDsOfNames Component.Member"
    // (or "GetIDsOfNames Component(name).Member").
    const Failure* lookUp(const std::string& component, const std::string& name, platform::TextView member);
    std::size_t lookups() const { return lookups_; }

    void failOn(const std::string& key, Failure failure);
    void failOn(const std::string& key, HRESULT hr, int fromCall = 1, bool once = true) {
        failOn(key, Failure{hr, fromCall, once, {}, {}});
    }
    // A processor fault inside the call instead of a failing HRESULT.
    void faultOn(const std::string& key, int fromCall = 1, bool once = true) {
        failOn(key, Failure{E_FAIL, fromCall, once, {}, {}, true});
    }
    // Runs action inside the fromCall-th call of key (1-based), before the
    // stand-in answers; the call itself goes on.
    void whenCalled(const std::string& key, int fromCall, std::function<void()> action);
    void clearFailures() {
        failures_.clear();
        actions_.clear();
    }

    // Calls made so far, oldest first.
    const std::vector<std::string>& calls() const { return calls_; }
    // Only the calls whose text starts with one of the prefixes.
    std::vector<std::string> callsTo(std::initializer_list<std::string_view> prefixes) const;
    std::size_t count(std::string_view prefix) const;
    void clear() {
        calls_.clear();
        lookups_ = 0;
    }
    // Calls the stand-ins did not expect (a member they do not have).
    std::vector<std::string> unexpected() const;

    // Logging can be switched off for benchmarks; failures still apply.
    bool recording = true;

private:
    const Failure* planned(const std::string& key, const std::string& named);

    std::vector<std::string> calls_;
    std::size_t lookups_ = 0;
    std::map<std::string, Failure> failures_;
    std::map<std::string, std::pair<int, std::function<void()>>> actions_;
    std::map<std::string, int> counts_;
};

// Writes through a null pointer: an access violation on purpose.
void faultNow();

// The log every stand-in writes to.
CallLog& log();

// Stand-in COM objects alive in the process.
std::atomic<long>& liveObjects();

// Sets the thread's error information for a failure, when it carries some.
void publishErrorInfo(const Failure& failure, const IID& iid);

}  // namespace standins
