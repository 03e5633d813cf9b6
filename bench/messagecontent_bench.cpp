// GetCompleteMessageContent through the in-process stand-ins: a mail with a
// large body and many attachments, as the spam check assembles it.
#include <benchmark/benchmark.h>

#include "functions/Functions.h"
#include "platform/classtable.h"
#include "standins/environment.h"

namespace {

using platform::ComPtr;
using platform::Text;
using platform::Variant;

void BM_GetCompleteMessageContent(benchmark::State& state) {
    const auto bodyBytes = static_cast<std::size_t>(state.range(0));
    const auto attachments = static_cast<int>(state.range(1));
    standins::Environment env;
    standins::log().recording = false;
    standins::MailItem* mail = env.outlook.addMail(env.outlook.defaultFolder(6));
    Text headers;
    for (int i = 0; i < 40; ++i) headers += u"Received: from relay" + Text(1, static_cast<char16_t>(u'a' + i % 26)) + u".example.org\r\n";
    headers += u"Content-Type: multipart/mixed;\r\n\tboundary=\"x\"\r\nSubject: Report\r\n\r\n";
    mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(headers);
    mail->htmlBody = Text(bodyBytes / sizeof(char16_t), u'x');
    for (int i = 0; i < attachments; ++i)
        mail->attachments.push_back(standins::Attachment{4096, u"application/octet-stream", Text(2048, u'a')});

    kw::Functions functions;
    functions.ObjNS = ComPtr<IDispatch>::share(env.outlook.ns()).query<_NameSpace>();
    functions.InitCOM();
    ComPtr<_MailItem> item = ComPtr<IDispatch>::share(mail).query<_MailItem>();
    std::size_t produced = 0;
    for (auto _ : state) {
        Text text = functions.GetCompleteMessageContent(item);
        produced = text.size();
        benchmark::DoNotOptimize(text);
    }
    functions.UnInitCOM();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(produced * sizeof(char16_t)));
    state.counters["text_chars"] = static_cast<double>(produced);
}
BENCHMARK(BM_GetCompleteMessageContent)->Args({1 << 20, 50})->Args({64 << 10, 5})->Unit(benchmark::kMillisecond);

// The floor for the assembly: a copy of as many bytes as its output has
// (1 MB body and 50 attachments give about 1.05 MB of text).
void BM_GetCompleteMessageContent_CopyOfOutput(benchmark::State& state) {
    const Text source(static_cast<std::size_t>(state.range(0)) / sizeof(char16_t), u'x');
    for (auto _ : state) {
        Text copy = source;
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size() * sizeof(char16_t)));
}
BENCHMARK(BM_GetCompleteMessageContent_CopyOfOutput)->Arg(1055098)->Unit(benchmark::kMillisecond);

}  // namespace
