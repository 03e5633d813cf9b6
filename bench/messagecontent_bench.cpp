// GetCompleteMessageContent through the in-process stand-ins: a mail with a
// large body and many attachments, as the spam check assembles it.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include "functions/Functions.h"
#include "platform/classtable.h"
#include "settings/RegRW.h"
#include "standins/environment.h"

namespace {

using platform::ComPtr;
using platform::Text;
using platform::Variant;

// The page faults of the process so far: body-sized buffers that the
// allocator took back from the kernel fault in again when they are next
// written, which shows as time of whoever writes them first.
long pageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

void countFaults(benchmark::State& state, long before) {
    state.counters["page_faults"] =
        benchmark::Counter(static_cast<double>(pageFaults() - before), benchmark::Counter::kAvgIterations);
}

// A received mail of that body size and number of 4 KB attachments.
standins::MailItem* bigMail(standins::Environment& env, std::size_t bodyBytes, int attachments) {
    standins::MailItem* mail = env.outlook.addMail(env.outlook.defaultFolder(6));
    Text headers;
    for (int i = 0; i < 40; ++i) headers += u"Received: from relay" + Text(1, static_cast<char16_t>(u'a' + i % 26)) + u".example.org\r\n";
    headers += u"Content-Type: multipart/mixed;\r\n\tboundary=\"x\"\r\nSubject: Report\r\n\r\n";
    mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(headers);
    mail->htmlBody = Text(bodyBytes / sizeof(char16_t), u'x');
    for (int i = 0; i < attachments; ++i)
        mail->attachments.push_back(standins::Attachment{4096, u"application/octet-stream", Text(2048, u'a')});
    return mail;
}

void BM_GetCompleteMessageContent(benchmark::State& state) {
    standins::Environment env;
    standins::log().recording = false;
    standins::MailItem* mail = bigMail(env, static_cast<std::size_t>(state.range(0)), static_cast<int>(state.range(1)));
    kw::Functions functions;
    functions.ObjNS = ComPtr<IDispatch>::share(env.outlook.ns()).query<_NameSpace>();
    functions.InitCOM();
    ComPtr<_MailItem> item = ComPtr<IDispatch>::share(mail).query<_MailItem>();
    std::size_t produced = 0;
    const long faults = pageFaults();
    for (auto _ : state) {
        Text text = functions.GetCompleteMessageContent(item);
        produced = text.size();
        benchmark::DoNotOptimize(text);
    }
    countFaults(state, faults);
    functions.UnInitCOM();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(produced * sizeof(char16_t)));
    state.counters["text_chars"] = static_cast<double>(produced);
}
BENCHMARK(BM_GetCompleteMessageContent)->Args({1 << 20, 50})->Args({64 << 10, 5})->Unit(benchmark::kMillisecond);

// The stand-ins' share of that assembly: the same outward calls, in the same
// order and through the same call helpers, with none of the component's own
// work (frames, header rewrite, signature lines, putting the text together).
// The assembly's own share is the row above less this one. Where the
// assembly makes its output, this reserves (and never writes) a buffer of
// the same size that lives as long, so the heap takes the same shape in
// both rows: the page faults, which land in the stand-ins' copies of the
// body, are then the same in both (page_faults shows it).
void BM_GetCompleteMessageContent_StandInsOnly(benchmark::State& state) {
    namespace mh = kw::mailhelper;
    standins::Environment env;
    standins::log().recording = false;
    standins::MailItem* mail = bigMail(env, static_cast<std::size_t>(state.range(0)), static_cast<int>(state.range(1)));
    kw::Functions functions;
    functions.ObjNS = ComPtr<IDispatch>::share(env.outlook.ns()).query<_NameSpace>();
    functions.InitCOM();
    const bool noIni = false;
    const long faults = pageFaults();
    for (auto _ : state) {
        Text output;
        benchmark::DoNotOptimize(kw::RegRW::RegRead(u"Software\\Kestrelwood\\Installation\\", u"Identity", u"S", noIni,
                                                    Text(), platform::root::LocalMachine));
        mh::SourceItem(functions.SafeMailItem, mail);
        benchmark::DoNotOptimize(kw::RegRW::RegRead(u"Software\\Kestrelwood\\Clients\\Outlook\\", u"SaveTo", u"S",
                                                    noIni, Text(), platform::root::CurrentUser));
        benchmark::DoNotOptimize(mh::Fields(functions.SafeMailItem, mh::PR_HEADERS));
        benchmark::DoNotOptimize(mh::Fields(functions.SafeMailItem, mh::PR_MESSAGE_CODEPAGE));
        const platform::Bstr html = mh::HTMLBody(functions.SafeMailItem);
        benchmark::DoNotOptimize(mh::Body(functions.SafeMailItem));
        kw::forEach(mh::Attachments(functions.SafeMailItem), [&](const Variant& item) {
            const kw::ByName<IDispatch> attachment = kw::asObject(*item);
            benchmark::DoNotOptimize(attachment.call(u"Size"));
            const Text tag = kw::asText(*attachment.call(u"Fields", {Variant::i4(mh::PR_ATTACH_MIME_TAG)}));
            const Text content = kw::asText(*attachment.call(u"AsText"));
            benchmark::DoNotOptimize(kw::spamclient::SignAttachment(functions.SpamClientCOM, tag, content));
        });
        const platform::Bstr prepared = kw::spamclient::PrepareBody(functions.SpamClientCOM, html);
        benchmark::DoNotOptimize(prepared.get());
        output.reserve(prepared.length() + 4096);
        benchmark::DoNotOptimize(output.data());
    }
    countFaults(state, faults);
    functions.UnInitCOM();
}
BENCHMARK(BM_GetCompleteMessageContent_StandInsOnly)->Args({1 << 20, 50})->Args({64 << 10, 5})->Unit(benchmark::kMillisecond);

// The floor for the assembly: a copy of as many bytes as its output has
// (1 MB body and 50 attachments give about 1.05 MB of text).
void BM_GetCompleteMessageContent_CopyOfOutput(benchmark::State& state) {
    const Text source(static_cast<std::size_t>(state.range(0)) / sizeof(char16_t), u'x');
    const long faults = pageFaults();
    for (auto _ : state) {
        Text copy = source;
        benchmark::DoNotOptimize(copy.data());
    }
    countFaults(state, faults);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size() * sizeof(char16_t)));
}
BENCHMARK(BM_GetCompleteMessageContent_CopyOfOutput)->Arg(1055098)->Unit(benchmark::kMillisecond);

}  // namespace
