// Functions: the one class of the component. This is the model: plain C++
// whose procedures throw run-time errors and carry their error blocks. The
// COM face (FunctionsObject.h) wraps it and only forwards.
#pragma once

#include <cstdint>

#include "errorcapture/frame.h"
#include "outside/mailhelper.h"
#include "outside/outlook.h"
#include "outside/spamclient.h"

namespace kw {

class Functions {
public:
    // The module name of the class's procedures in error reports.
    static constexpr const char16_t* kModuleName = u"Functions";

    Functions() noexcept;
    // The thread's last object releases the thread's Outlook application.
    ~Functions();
    Functions(const Functions&) = delete;
    Functions& operator=(const Functions&) = delete;

    // Member variables, in declaration order; error reports list them in
    // this order.
    Boolean DisableVoting;
    Text ProfileName;
    Boolean RecheckFolder;
    ComPtr<_Application> ObjOutlook;
    ByName<_NameSpace> ObjNS;
    ComPtr<_MailItem> objMailItem;  // declared, never assigned
    bool ObjError = false;
    double Outlookversion = 0.0;
    ComPtr<IKWMailItem> SafeMailItem;
    ComPtr<IKWMAPIUtils> objMAPIUtil;
    ComPtr<_SpamClientCOM> SpamClientCOM;
    ComPtr<_SpamClientMD5> SpamClientMD5;

    // Public methods.
    void CheckMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue,
                   Boolean& Newmail);
    void BlockMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue);
    void UnBlockMail(ComPtr<_NameSpace> OutlookNS, ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue);
    Text PickFolder(Text& FolderID, Boolean& SPAMfolder);
    Text GetFolderName(Text& FolderID);
    void CreateFolder(ComPtr<_NameSpace> OutlookNS);
    Text GetFolderPath(Text& FolderID);
    Text GetContactlist(Boolean& withName);
    Text GetProfileName();

    // The member variables as report text.
    Text DumpModuleVariables() const;

    // Internal procedures, reached only inside a public call.
    void InitCOM(Site at = Site::here());
    void UnInitCOM(Site at = Site::here());

    // The spam decision for one received mail.
    void CheckMailItemForSpam(ComPtr<_MailItem>& MailItem, Boolean& Newmail, Site at = Site::here());
    // Whether sender and receiver are Exchange addresses of one organisation.
    bool CheckSameExchangeServer(ComPtr<_MailItem>& MailItem, Site at = Site::here());
    // The spam client's vote on the mail; 0 for a mail without text.
    std::int32_t GetVote(ComPtr<_MailItem>& objMail, Boolean& Newmail, Site at = Site::here());
    // Tells the spam client the user's verdict: 100 spam, -100 not spam.
    void CastVote(ComPtr<_MailItem>& objMail, std::int32_t mailVote, Site at = Site::here());

    // The spam folder, found by its stored identity or adopted or created.
    ByName<MAPIFolder> FindSPAMRepository(Site at = Site::here());
    // Moves the mail into the spam folder or back into the Inbox.
    void MoveMessage(ComPtr<_MailItem>& objMail, const bool& toSpambox, Site at = Site::here());

    // The entries of one contacts folder.
    Text GetContactFolderContent(ByName<IDispatch>& cFolder, Boolean& withName, Site at = Site::here());

    Text GetCompleteMessageContent(ComPtr<_MailItem>& objMail, Site at = Site::here());
    // Writes the mail bound to SafeMailItem into the "SaveTo" folder; the
    // folder and the subject are the caller's variables.
    void SaveMessageCopy(Text& SaveAsFileTo, Text& FileSubject);

private:
    // The per-call lifecycle of every public method but the properties:
    // InitCOM, the work only while Outlook is attached, then (for the methods
    // that take a mail) the release of the namespace argument and the
    // clearing of the caller's mail variable, then UnInitCOM. The methods
    // that take a namespace store it in ObjNS before.
    template <class Work>
    void perCall(Work&& work, ComPtr<_NameSpace>* namespaceArgument = nullptr,
                 ComPtr<_MailItem>* callersMail = nullptr);
    // BlockMail and UnBlockMail: the move first, then the user's verdict.
    void reportVerdict(const char16_t* procedure, bool spam, ComPtr<_NameSpace>& OutlookNS,
                       ComPtr<_MailItem>& OutlookMail, double& OutlookVersionValue);
};

template <class Work>
void Functions::perCall(Work&& work, ComPtr<_NameSpace>* namespaceArgument, ComPtr<_MailItem>* callersMail) {
    InitCOM();
    if (!ObjError) work();
    if (namespaceArgument != nullptr) *namespaceArgument = nullptr;
    if (callersMail != nullptr) *callersMail = nullptr;
    UnInitCOM();
}

// The Outlook application object of the current thread, created on first
// need, shared by every Functions object of the thread and released with the
// thread's last Functions object.
ComPtr<_Application> threadOutlookApplication(Site at = Site::here());
// Drops the thread's Outlook application object; it is made again on next
// need. Hosts call it when the thread stops using the component.
void releaseThreadOutlookApplication() noexcept;

}  // namespace kw
