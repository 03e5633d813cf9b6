#include "outside/spamclient.h"

namespace kw::spamclient {

std::int32_t QueryVote(const ComPtr<_SpamClientCOM>& client, const Text& message, platform::Boolean newMail, Site at) {
    Bstr text(message);
    LONG vote = 0;
    check(need(client, at)->QueryVote(text.get(), newMail.bits, &vote), client, at);
    return vote;
}

std::int32_t SubmitVote(const ComPtr<_SpamClientCOM>& client, const Text& message, std::int32_t vote, Site at) {
    Bstr text(message);
    LONG result = 0;
    check(need(client, at)->SubmitVote(text.get(), vote, &result), client, at);
    return result;
}

Bstr PrepareBody(const ComPtr<_SpamClientCOM>& client, const Bstr& body, Site at) {
    Bstr prepared;
    check(need(client, at)->PrepareBody(body.get(), prepared.put()), client, at);
    return prepared;
}

Text SignAttachment(const ComPtr<_SpamClientCOM>& client, const Text& mimeTag, const Text& content, Site at) {
    Bstr tag(mimeTag), data(content), signature;
    check(need(client, at)->SignAttachment(tag.get(), data.get(), signature.put()), client, at);
    return signature.text();
}

}  // namespace kw::spamclient
