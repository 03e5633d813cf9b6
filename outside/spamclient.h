// The anti-spam client's two classifier objects, called by vtable slot
// (slot 7 is the first after IDispatch). A new instance of each is created
// for every public call of Functions.
#pragma once

#include "outside/slots.h"

struct _SpamClientCOM : public IDispatch {
    // 7: the vote for a message text; spam when vote >= threshold.
    virtual HRESULT STDMETHODCALLTYPE QueryVote(BSTR message, VARIANT_BOOL newMail, LONG* vote) = 0;
    // 8: records the user's verdict: 100 spam, -100 not spam.
    virtual HRESULT STDMETHODCALLTYPE SubmitVote(BSTR message, LONG vote, LONG* result) = 0;
    KW_UNUSED_SLOT(9);
    // 10: the body text as the classifier wants to see it.
    virtual HRESULT STDMETHODCALLTYPE PrepareBody(BSTR body, BSTR* prepared) = 0;
    // 11: the signature of one attachment.
    virtual HRESULT STDMETHODCALLTYPE SignAttachment(BSTR mimeTag, BSTR content, BSTR* signature) = 0;
};

// Created and released with every call; none of its operations is used.
struct _SpamClientMD5 : public IDispatch {};

namespace kw::spamclient {
inline constexpr CLSID CLSID_SpamClientCOM = platform::makeGuid("84F200E8-D9BD-457D-B9D0-E15A06077C14");
inline constexpr IID IID_SpamClientCOM = platform::makeGuid("6F3215EB-4C13-4509-AC45-144499799C46");
inline constexpr CLSID CLSID_SpamClientMD5 = platform::makeGuid("BF055841-6D32-4881-B5D4-BCAD6293D434");
inline constexpr IID IID_SpamClientMD5 = platform::makeGuid("3A3EE8DD-CCEA-4518-BA06-F20331ECD627");
}  // namespace kw::spamclient

KW_INTERFACE_ID(_SpamClientCOM, kw::spamclient::IID_SpamClientCOM);
KW_INTERFACE_ID(_SpamClientMD5, kw::spamclient::IID_SpamClientMD5);

#include "core/automation.h"

// Typed calls on the spam client, each raising the run-time error of a
// failing HRESULT with the caller's line.
namespace kw::spamclient {
// The new-mail flag goes on with the bits the caller of the component gave.
std::int32_t QueryVote(const ComPtr<_SpamClientCOM>& client, const Text& message, platform::Boolean newMail,
                       Site at = Site::here());
std::int32_t SubmitVote(const ComPtr<_SpamClientCOM>& client, const Text& message, std::int32_t vote,
                        Site at = Site::here());
// The body goes on as the BSTR it came in, and the answer stays a BSTR.
Bstr PrepareBody(const ComPtr<_SpamClientCOM>& client, const Bstr& body, Site at = Site::here());
Text SignAttachment(const ComPtr<_SpamClientCOM>& client, const Text& mimeTag, const Text& content,
                    Site at = Site::here());
}  // namespace kw::spamclient
