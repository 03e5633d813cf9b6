#include "standins/bogoclient.h"

#include <glib.h>

#include <fstream>
#include <stdexcept>

#include "outside/spamclient.h"
#include "platform/classtable.h"
#include "standins/environment.h"
#include "standins/vtableobject.h"

namespace standins {

namespace {

using kw::spamclient::CLSID_SpamClientCOM;
using kw::spamclient::IID_SpamClientCOM;

// A failure of the classifier as the component sees it: E_FAIL with the
// reason as error information.
HRESULT failed(const std::exception& failure) {
    const std::string reason = failure.what();
    publishErrorInfo(Failure{E_FAIL, 1, true, Text(reason.begin(), reason.end()), u"SpamClientCOM"}, IID_SpamClientCOM);
    return E_FAIL;
}

class ClientObject final : public VtableObject<_SpamClientCOM> {
public:
    explicit ClientObject(BogofilterClient& client) : VtableObject("SpamClientCOM", {IID_SpamClientCOM}), client_(client) {}

    HRESULT STDMETHODCALLTYPE QueryVote(BSTR message, VARIANT_BOOL, LONG* vote) override {
        if (HRESULT hr = enter("QueryVote"); FAILED(hr)) return hr;
        if (vote == nullptr) return E_POINTER;
        try {
            *vote = client_.vote(platform::toUtf8(platform::textOf(message)));
        } catch (const std::exception& failure) {
            return failed(failure);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SubmitVote(BSTR message, LONG vote, LONG* result) override {
        if (HRESULT hr = enter("SubmitVote", std::to_string(vote)); FAILED(hr)) return hr;
        if (result == nullptr) return E_POINTER;
        if (vote != 100 && vote != -100) return E_INVALIDARG;
        try {
            *result = client_.submit(platform::toUtf8(platform::textOf(message)), vote > 0);
        } catch (const std::exception& failure) {
            return failed(failure);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PrepareBody(BSTR body, BSTR* prepared) override {
        if (HRESULT hr = enter("PrepareBody"); FAILED(hr)) return hr;
        if (prepared == nullptr) return E_POINTER;
        *prepared = platform::allocBstr(platform::textOf(body));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SignAttachment(BSTR mimeTag, BSTR content, BSTR* signature) override {
        if (HRESULT hr = enter("SignAttachment"); FAILED(hr)) return hr;
        (void)mimeTag;
        if (signature == nullptr) return E_POINTER;
        // The UTF-16 code units as they are: binary content keeps every byte.
        const std::string units(reinterpret_cast<const char*>(content), SysStringLen(content) * sizeof(OLECHAR));
        const std::string digest = sha256Hex(units);
        *signature = platform::allocBstr(Text(digest.begin(), digest.end()));
        return S_OK;
    }
    KW_STANDIN_UNUSED(9)

private:
    BogofilterClient& client_;
};

}  // namespace

std::string sha256Hex(const std::string& bytes) {
    gchar* hex = g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string out = hex;
    g_free(hex);
    return out;
}

BogofilterClient::BogofilterClient(std::string dataDir) : classifier_(dataDir), registrations_(dataDir + "/registered") {
    std::ifstream in(registrations_);
    for (std::string digest, verdict; in >> digest >> verdict;) registered_[digest] = verdict == "spam";
    platform::registerClass(CLSID_SpamClientCOM, u"", [this](REFIID riid, void** ppv) -> HRESULT {
        auto* object = new ClientObject(*this);
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    });
}

BogofilterClient::~BogofilterClient() { platform::revokeClass(CLSID_SpamClientCOM); }

std::int32_t BogofilterClient::vote(const std::string& message) {
    const std::int32_t v = classifier_.vote(message);
    ++votesByTen[static_cast<std::size_t>(v >= 90 ? 9 : v / 10)];
    return v;
}

std::int32_t BogofilterClient::submit(const std::string& message, bool spam) {
    const std::string digest = sha256Hex(message);
    const auto found = registered_.find(digest);
    if (found != registered_.end() && found->second == spam) return 0;
    classifier_.train(message, spam, found != registered_.end());
    registered_[digest] = spam;
    std::ofstream out(registrations_, std::ios::app);
    out << digest << (spam ? " spam\n" : " ham\n");
    if (!out.flush()) throw std::runtime_error("cannot write " + registrations_);
    return 1;
}

}  // namespace standins
