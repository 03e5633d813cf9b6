// One run of the kwolfunc host: the stand-ins in the class table, the
// settings in a registry file, the mailbox on disk, message boxes and error
// reports on the terminal and in the report folder, and the Functions
// component created by its ProgID and called through _Functions, as the
// add-in has it.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "functions/FunctionsObject.h"
#include "standins/bogoclient.h"
#include "standins/environment.h"
#include "standins/mailbox.h"

namespace host {

using platform::Text;

// Exit codes of the host.
enum Exit { kDone = 0, kComponentFailed = 1, kUsage = 2, kBadInput = 3, kNoClassifier = 4 };

// A failure the host ends with: one line and an exit code.
struct Stop : std::runtime_error {
    Stop(int exitCode, const std::string& line) : std::runtime_error(line), code(exitCode) {}
    int code;
};

struct Paths {
    std::vector<std::filesystem::path> stores;  // the first is the default store
    std::filesystem::path settings, data;
    // Defaults under $XDG_CONFIG_HOME and $XDG_DATA_HOME (or ~/.config, ~/.local/share).
    static Paths defaults();
    std::filesystem::path reports() const { return data / "reports"; }
    std::filesystem::path wordlist() const { return data / "bogofilter"; }
};

// The text of a failed call: the HRESULT and the error information's description.
std::string describeFailure(HRESULT hr);

// The component through its COM face. The ByRef arguments are the caller's:
// a callee may free and replace them, and what comes back is released here.
class Component {
public:
    Component();
    _Functions* operator->() const { return functions_.get(); }

    HRESULT checkMail(_NameSpace* ns, _MailItem* mail, bool newMail);
    HRESULT reportVerdict(_NameSpace* ns, _MailItem* mail, bool spam);  // BlockMail or UnBlockMail
    // A method that takes a folder ID ByRef and gives text.
    template <class Call>
    HRESULT withFolderId(const Text& id, Text& result, Call call) {
        BSTR inOut = platform::allocBstr(id);
        platform::Bstr out;
        const HRESULT hr = call(functions_.get(), &inOut, out.put());
        platform::Bstr::attach(inOut);  // what the callee left there is ours to free
        result = out.text();
        return hr;
    }

private:
    platform::ComPtr<_Functions> functions_;
};

class Session {
public:
    explicit Session(const Paths& paths);
    ~Session();

    standins::Environment env;
    std::unique_ptr<standins::Mailbox> mailbox;
    std::unique_ptr<standins::BogofilterClient> classifier;
    std::unique_ptr<Component> component;

    _NameSpace* ns() const { return env.outlook.ns(); }
    // Writes the reports the component sent since the last call into the
    // report folder; returns how many there were.
    std::size_t saveReports();
    // A folder of the mailbox by directory (relative to the default store
    // or to the working directory), or Stop.
    standins::Folder& folder(const std::string& dir) const;
    standins::MailItem& mail(const std::string& file) const;
    // Stop unless bogofilter can be run and, for votes, has a word list.
    void requireClassifier(bool forVotes) const;
    // Stop for a failed call, naming the report folder when the component
    // sent reports.
    void require(HRESULT hr);
    // Says where the reports went, when there were any.
    void tellReports() const;

private:
    Paths paths_;
    std::size_t saved_ = 0;
};

}  // namespace host
