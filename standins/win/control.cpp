// KWStandins.Control: what a script uses to lay out the stand-ins of the
// process, script their answers and read back what happened, by name.
//
//   Namespace                            the MAPI namespace (to pass to the component)
//   DefaultFolder(type)                  a default folder by OlDefaultFolders value (Inbox 6)
//   AddFolder(parent, name)              a new folder
//   AddMail(folder, headers, body)       a received, unread mail item
//   AddContact(folder, name, address)    a contact with an SMTP address
//   Vote word, vote                      the spam client votes so for a text with the word
//   FailOn member, n, number, text       the nth call of member ("Folder.Name", or of one
//                                        object "Folder(Archive).Name") fails once, with
//                                        the number and the text as error information
//   ProfileName                          what the mail helper gives as the profile
//   FolderOf(mail)                       the name of the folder the mail is in
//   Calls(prefix)                        the calls logged that start with prefix, a line each
//   SubmittedVotes                       the votes given to SubmitVote, separated by spaces
//   ReportCount, Report(n, field)        the error reports: Number, Procedure, Description, Text
//   Finish()                             takes the stand-ins down; answers how many stand-in
//                                        objects are still alive (the controls apart). The
//                                        last call of a script: what is still alive then
//                                        must not be used again
#include <atomic>

#include "outside/mailhelper.h"
#include "standins/win/module.h"

namespace standins::win {

namespace {

using Args = std::vector<Variant>;

std::atomic<long> gControls{0};

Environment& env() { return sharedEnvironment(); }

Variant reportField(const ErrorReport& report, const Text& field) {
    if (field == u"Number") return Variant::i4(report.number);
    if (field == u"Procedure") return Variant::text(report.procedure);
    if (field == u"Description") return Variant::text(report.description);
    if (field == u"Text") return Variant::text(report.report);
    throw Refusal{DISP_E_BADINDEX};
}

class Control final : public DispatchObject<> {
public:
    Control() : DispatchObject("Control", "", u"Control") {
        ++gControls;
        property(u"Namespace", [](const Args&) { return objectVariant(env().outlook.ns()); });
        method(u"DefaultFolder", [](const Args& args) {
            Folder* folder = env().outlook.defaultFolder(intArg(args, 0));
            if (folder == nullptr) throw Refusal{kNotFound};
            return objectVariant(folder);
        });
        method(u"AddFolder", [](const Args& args) {
            return objectVariant(env().outlook.addFolder(objectArg<Folder>(args, 0), textArg(args, 1)));
        });
        method(u"AddMail", [](const Args& args) {
            MailItem* mail = env().outlook.addMail(objectArg<Folder>(args, 0));
            mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(textArg(args, 1));
            mail->body = textArg(args, 2);
            return objectVariant(mail);
        });
        method(u"AddContact", [](const Args& args) {
            ContactItem* contact = env().outlook.addContact(objectArg<Folder>(args, 0), textArg(args, 1));
            contact->addressType[0] = u"SMTP";
            contact->address[0] = textArg(args, 2);
            return objectVariant(contact);
        });
        method(u"Vote", [](const Args& args) {
            SpamScript& spam = env().spam;
            spam.vote = [word = textArg(args, 0), vote = intArg(args, 1), earlier = spam.vote](const Text& text, bool fresh) {
                return text.find(word) != Text::npos ? vote : earlier(text, fresh);
            };
            return Variant();
        });
        method(u"FailOn", [](const Args& args) {
            env();  // a fresh environment clears the failures planned
            log().failOn(utf8(textArg(args, 0)), Failure{intArg(args, 2), intArg(args, 1), true, textArg(args, 3), u"Stand-in"});
            return Variant();
        });
        property(
            u"ProfileName", [](const Args&) { return Variant::text(env().profileName); },
            [](const Variant& value) { env().profileName = textArg({value}, 0); });
        method(u"FolderOf", [](const Args& args) {
            const Folder* folder = objectArg<MailItem>(args, 0)->folder;
            return Variant::text(folder != nullptr ? folder->displayName : Text());
        });
        method(u"Calls", [](const Args& args) {
            std::string lines;
            for (const std::string& call : log().callsTo({utf8(textArg(args, 0))}))
                lines.append(lines.empty() ? "" : "\n").append(call);
            return Variant::text(platform::fromUtf8(lines));
        });
        property(u"SubmittedVotes", [](const Args&) {
            std::string votes;
            for (const auto& submitted : env().spam.submitted)
                votes.append(votes.empty() ? "" : " ").append(std::to_string(submitted.second));
            return Variant::text(platform::fromUtf8(votes));
        });
        property(u"ReportCount", [](const Args&) { return Variant::i4(static_cast<std::int32_t>(env().reports.size())); });
        method(u"Report", [](const Args& args) {
            const std::vector<ErrorReport>& reports = env().reports;
            const std::int32_t n = intArg(args, 0);
            if (n < 1 || n > static_cast<std::int32_t>(reports.size())) throw Refusal{DISP_E_BADINDEX};
            return reportField(reports[static_cast<std::size_t>(n - 1)], textArg(args, 1));
        });
        method(u"Finish", [](const Args&) {
            finishSharedEnvironment();
            return Variant::i4(static_cast<std::int32_t>(liveObjects().load() - gControls.load()));
        });
    }
    ~Control() override { --gControls; }
};

}  // namespace

HRESULT createControl(REFIID riid, void** ppv) {
    auto* control = new Control();
    const HRESULT hr = control->QueryInterface(riid, ppv);
    control->Release();
    return hr;
}

}  // namespace standins::win
