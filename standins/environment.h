// One test's (or one host run's) set of stand-ins: they are put into the
// class table under the real CLSIDs and ProgIDs when the environment is made
// and taken out when it goes. The shared call log starts empty.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/settingsapi.h"
#include "standins/outlook.h"

namespace standins {

// What the spam client answers.
struct SpamScript {
    std::function<std::int32_t(const Text& message, bool newMail)> vote = [](const Text&, bool) { return 0; };
    std::function<Text(const Text& body)> prepare = [](const Text& body) { return body; };
    std::function<Text(const Text& mimeTag, const Text& content)> sign;  // a checksum text when unset
    std::vector<Text> queried;                          // texts given to QueryVote
    std::vector<VARIANT_BOOL> newMail;                  // and the new-mail flags, bits as given
    std::vector<std::pair<Text, std::int32_t>> submitted;  // texts and votes given to SubmitVote
};

// One ErrorHandler call on the error-report component: the eight arguments.
struct ErrorReport {
    std::int32_t number = 0;
    Text component, module, procedure, description;
    std::int32_t line = 0;
    Text report, version;
};

class Environment {
public:
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    OutlookWorld outlook;
    SpamScript spam;
    Text profileName = u"Outlook";   // what KWMAPIUtils.CurrentProfileName answers
    std::vector<ErrorReport> reports;  // calls on the error-report component
    Text action = u"1";                // what its Action property answers

    // The settings backend of the process while the environment lives: an
    // in-memory registry behind a recording layer (calls logged as
    // "Settings.RegQueryValueExA(HKLM\\key, value)" and so on).
    std::shared_ptr<platform::SettingsApi> settings;

    // Takes a component out of the class table, as if it were not installed.
    void uninstallErrorReporter();
    void uninstallOutlook();

    static Environment& current();

private:
    Environment* previous_;
    std::shared_ptr<platform::SettingsApi> previousSettings_;
};

// A class of the stand-ins, as the component finds it: by CLSID, and by
// ProgID where it has one.
struct StandInClass {
    CLSID clsid;
    const char16_t* progId;  // empty when the component creates it by CLSID only
    const char* name;        // what the call log shows for a creation ("Name.create")
    IUnknown* (*make)(Environment& env);  // a new reference
};
const std::vector<StandInClass>& standInClasses();

// The ProgID under which the error-report component is found.
inline constexpr char16_t kErrorReporterProgId[] = u"kestrelwoodErrHandler.Error";

// The signature the stand-in spam client gives when none is scripted.
Text defaultSignature(const Text& mimeTag, const Text& content);

}  // namespace standins
