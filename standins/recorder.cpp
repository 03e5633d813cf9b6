#include "standins/recorder.h"

#include <cstdio>

#include "platform/comptr.h"

namespace standins {

std::string utf8(platform::TextView text) { return platform::toUtf8(text); }

std::string quoted(platform::TextView text) {
    if (!log().recording) return {};  // nobody reads it: spare the copy
    std::string out = "\"";
    for (char c : utf8(text)) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\0') out += "\\0";
        else if (c == '"') out += "\\\"";
        else out.push_back(c);
    }
    return out + "\"";
}

const Failure* CallLog::enter(const std::string& key, const std::string& named, const std::string& args) {
    if (recording) calls_.push_back((named.empty() ? key : named) + "(" + args + ")");
    if (!actions_.empty()) {
        for (const std::string* k : {&named, &key}) {
            auto found = actions_.find(*k);
            if (found == actions_.end() || --found->second.first != 0) continue;
            std::function<void()> action = std::move(found->second.second);
            actions_.erase(found);
            action();
        }
    }
    return planned(key, named);
}

const Failure* CallLog::lookUp(const std::string& component, const std::string& name, platform::TextView member) {
    ++lookups_;
    if (failures_.empty()) return nullptr;
    std::string key = "GetIDsOfNames ", named;
    key.append(component);
    if (!name.empty()) named.append(key).append("(").append(name).append(")").append(".").append(utf8(member));
    key.append(".").append(utf8(member));
    return planned(key, named);
}

const Failure* CallLog::planned(const std::string& key, const std::string& named) {
    for (const std::string* k : {&named, &key}) {
        if (k->empty()) continue;
        auto found = failures_.find(*k);
        if (found == failures_.end()) continue;
        const int n = ++counts_[*k];
        const Failure& f = found->second;
        if (n == f.fromCall || (!f.once && n > f.fromCall)) {
            if (f.fault) faultNow();
            return &f;
        }
    }
    return nullptr;
}

void CallLog::whenCalled(const std::string& key, int fromCall, std::function<void()> action) {
    actions_[key] = {fromCall, std::move(action)};
}

void CallLog::failOn(const std::string& key, Failure failure) {
    failures_[key] = std::move(failure);
    counts_[key] = 0;
}

std::vector<std::string> CallLog::callsTo(std::initializer_list<std::string_view> prefixes) const {
    std::vector<std::string> out;
    for (const std::string& call : calls_)
        for (std::string_view p : prefixes)
            if (call.compare(0, p.size(), p) == 0) {
                out.push_back(call);
                break;
            }
    return out;
}

std::size_t CallLog::count(std::string_view prefix) const {
    std::size_t n = 0;
    for (const std::string& call : calls_)
        if (call.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

std::vector<std::string> CallLog::unexpected() const { return callsTo({"UNEXPECTED "}); }

namespace {
int* volatile gNowhere = nullptr;
}

__attribute__((noinline, no_sanitize("address", "undefined"))) void faultNow() { *gNowhere = 1; }

CallLog& log() {
    static CallLog theLog;
    return theLog;
}

std::atomic<long>& liveObjects() {
    static std::atomic<long> live{0};
    return live;
}

void publishErrorInfo(const Failure& failure, const IID& iid) {
    if (failure.description.empty() && failure.source.empty()) {
        SetErrorInfo(0, nullptr);
        return;
    }
    platform::ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return;
    create->SetGUID(iid);
    Text description = failure.description, source = failure.source;
    create->SetDescription(const_cast<LPOLESTR>(platform::ole(description)));
    create->SetSource(const_cast<LPOLESTR>(platform::ole(source)));
    if (auto info = create.query<IErrorInfo>()) SetErrorInfo(0, info.get());
}

}  // namespace standins
