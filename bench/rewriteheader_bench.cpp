#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <gmime/gmime.h>

#include "content/RewriteHeader.h"
#include "platform/textscan.h"
#include "tests/content/rewriteheader_reference.h"

namespace {

using kw::Text;

// The transport headers of a mail that passed a few relays: folded Received
// lines, a multipart/alternative Content-Type with its boundary on a folded
// line, a Content-Transfer-Encoding and the usual client headers.
const Text kRelayedHeader =
    u"Return-Path: <anna.berg@example.com>\r\n"
    u"Received: from mx2.example.org (mx2.example.org [198.51.100.25])\r\n"
    u"\tby mail.example.net (Postfix) with ESMTPS id 4F2A1C0B3D\r\n"
    u"\tfor <bob@example.net>; Tue, 1 Apr 2003 10:00:04 +0200 (CEST)\r\n"
    u"Received: from relay.example.org (relay.example.org [198.51.100.7])\r\n"
    u"    by mx2.example.org with ESMTP id h31800Ab012345\r\n"
    u"    for <bob@example.net>; Tue, 1 Apr 2003 10:00:03 +0200\r\n"
    u"Received: from workstation.example.com ([192.0.2.44])\r\n"
    u"\tby relay.example.org with ESMTP id h31800Aa012344;\r\n"
    u"\tTue, 1 Apr 2003 10:00:01 +0200\r\n"
    u"Received: from localhost (localhost [127.0.0.1])\r\n"
    u"\tby workstation.example.com (8.12.8/8.12.8) with SMTP id h317xxQ9004411\r\n"
    u"\tfor <bob@example.net>; Tue, 1 Apr 2003 09:59:58 +0200\r\n"
    u"Authentication-Results: mail.example.net;\r\n"
    u"\tdkim=pass (2048-bit key) header.d=example.com header.i=@example.com header.b=kQ0r7uQ5;\r\n"
    u"\tspf=pass (mail.example.net: domain of anna.berg@example.com designates 198.51.100.7\r\n"
    u"\t as permitted sender) smtp.mailfrom=anna.berg@example.com;\r\n"
    u"\tdmarc=pass (p=NONE sp=NONE dis=NONE) header.from=example.com\r\n"
    u"Received-SPF: pass (mail.example.net: domain of anna.berg@example.com designates\r\n"
    u"    198.51.100.7 as permitted sender) client-ip=198.51.100.7;\r\n"
    u"    envelope-from=<anna.berg@example.com>; helo=relay.example.org;\r\n"
    u"DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.com; s=mail;\r\n"
    u"\th=from:to:subject:date:message-id:mime-version:content-type;\r\n"
    u"\tbh=2jUSOH9NhtVGCQWNr9BrIAPreKQjO6Sn7XIkfJVOzv8=;\r\n"
    u"\tb=kQ0r7uQ5VtZf1y4c3aJ9l5Yp0mZ2xW8nT6rB1vC4dE7fG0hI3jK6lM9nO2pQ5rS8tU1vW4xY7zA0bC3dE6fG9h\r\n"
    u"\t I2jK5lM8nO1pQ4rS7tU0vW3xY6zA9bC2dE5fG8hI1jK4lM7nO0pQ3rS6tU9vW2xY5zA8bC1dE4fG7hI0jK3lM6\r\n"
    u"Message-ID: <20030401080001.GA4411@workstation.example.com>\r\n"
    u"Date: Tue, 1 Apr 2003 10:00:00 +0200\r\n"
    u"From: \"Anna Berg\" <anna.berg@example.com>\r\n"
    u"Reply-To: \"Anna Berg\" <anna.berg@example.com>\r\n"
    u"Organization: Example Trading Ltd.\r\n"
    u"To: \"Bob\" <bob@example.net>, \"Carla Diaz\" <carla.diaz@example.net>,\r\n"
    u"    \"Dieter Engel\" <dieter.engel@example.net>\r\n"
    u"Cc: \"Sales team\" <sales@example.com>\r\n"
    u"Subject: Quarterly figures and the planning meeting next Thursday\r\n"
    u"MIME-Version: 1.0\r\n"
    u"Content-Type: multipart/alternative;\r\n"
    u"\tboundary=\"----=_NextPart_000_0012_01C2F0A1.3B5C6D70\"\r\n"
    u"Content-Transfer-Encoding: 7bit\r\n"
    u"X-Priority: 3\r\n"
    u"X-MSMail-Priority: Normal\r\n"
    u"X-Mailer: Mail Client 6.00.2800.1158\r\n"
    u"X-MimeOLE: Produced By Mail Client V6.00.2800.1165\r\n"
    u"X-Spam-Checker-Version: Filter 2.55 on mail.example.net\r\n"
    u"X-Spam-Level: \r\n"
    u"X-Spam-Status: No, hits=0.4 required=5.0 tests=HTML_MESSAGE,\r\n"
    u"\tMIME_HTML_ONLY_MULTI autolearn=no version=2.55\r\n"
    u"X-Virus-Scanned: by scanner 4.2 at mail.example.net\r\n"
    u"List-Unsubscribe: <mailto:unsubscribe-sales@example.com?subject=unsubscribe>,\r\n"
    u"    <https://lists.example.com/unsubscribe/sales/bob%40example.net>\r\n"
    u"Thread-Topic: Quarterly figures and the planning meeting next Thursday\r\n"
    u"Thread-Index: AcL4M9x0Yw5QkqXHTm2bK1sN8pZcRA==\r\n"
    u"Importance: Normal\r\n"
    u"Precedence: bulk\r\n"
    u"Content-Language: en-gb\r\n"
    u"X-Original-Arrival-Time: 01 Apr 2003 08:00:02.0312 (UTC) FILETIME=[3B5C6D70:01C2F0A1]\r\n"
    u"\r\n";

// A block of the given number of lines, about 50 characters each, mixing
// plain, folded and Content-* header lines, and ending with an empty line.
Text headerOfLines(std::int64_t lines) {
    static const Text kCycle[] = {
        u"Received: from relay.example.org by mx.example.net",
        u"\tfor <bob@example.net>; Tue, 1 Apr 2003 10:00:00",
        u"X-Trace: 0123456789abcdef0123456789abcdef01234567",
        u"Content-Type: multipart/mixed; boundary=\"b0123456\"",
        u"    boundary-continued=\"0123456789abcdef0123456\"",
        u"Content-Transfer-Encoding: quoted-printable     ",
        u"Comments: a line with spaces at both of its ends  ",
        u"Subject: the subject line of a rather long message",
    };
    Text header;
    header.reserve(static_cast<std::size_t>(lines) * 52);
    for (std::int64_t i = 0; i + 1 < lines; ++i) header.append(kCycle[i % 8]).append(u"\r\n");
    return header;
}

// Every figure is bytes of UTF-16 input per second, so the rows of one input
// compare directly: the rewrite, the plain two-pass form it replaced, a
// general MIME library doing the same transformation on the same header in
// UTF-8, and the physical floor (one CR LF scan; a copy of the bytes).
using Blocks = std::vector<Text>;

void setBytes(benchmark::State& state, const Blocks& blocks) {
    std::size_t size = 0;
    for (const Text& b : blocks) size += b.size();
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size * sizeof(char16_t)));
}

void rewrite(benchmark::State& state, const Blocks& blocks) {
    kw::HeaderRewrite work;
    for (auto _ : state)
        for (const Text& header : blocks) benchmark::DoNotOptimize(kw::RewriteHeader(header, u"text/html", work));
    setBytes(state, blocks);
}

void twoPass(benchmark::State& state, const Blocks& blocks) {
    for (auto _ : state)
        for (const Text& header : blocks) benchmark::DoNotOptimize(kwref::rewriteHeader(header, u"text/html"));
    setBytes(state, blocks);
}

void crlfScan(benchmark::State& state, const Blocks& blocks) {
    for (auto _ : state) for (const Text& header : blocks) {
        std::size_t lines = 0;
        const char16_t* const end = header.data() + header.size();
        for (const char16_t* p = header.data();; ++lines) {
            p = platform::scan::lineEnd(p, end);
            if (p == end) break;
            p += 2;
        }
        benchmark::DoNotOptimize(lines);
    }
    setBytes(state, blocks);
}

void copy(benchmark::State& state, const Blocks& blocks) {
    std::vector<char16_t> target(1 << 20);
    for (auto _ : state) for (const Text& header : blocks) {
        if (header.size() > target.size()) target.resize(header.size());
        std::memcpy(target.data(), header.data(), header.size() * sizeof(char16_t));
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, blocks);
}

std::string utf8(const Text& text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        else out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    return out;
}

// GMime parses the header block (with an empty body), removes every
// Content-Transfer-Encoding, sets the Content-Type and writes the block back.
void gmime(benchmark::State& state, const Blocks& blocks) {
    static const bool initialised = (g_mime_init(), true);
    (void)initialised;
    std::vector<std::string> inputs;
    for (const Text& header : blocks) inputs.push_back(utf8(header) + "\r\n");
    GMimeFormatOptions* format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
    for (auto _ : state) for (const std::string& bytes : inputs) {
        GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
        if (message != nullptr) {
            GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
            while (g_mime_header_list_remove(headers, "Content-Transfer-Encoding")) {}
            g_mime_header_list_set(headers, "Content-Type", "text/html; charset=\"utf-8\"", nullptr);
            char* written = g_mime_header_list_to_string(headers, format);
            benchmark::DoNotOptimize(written);
            g_free(written);
            g_object_unref(message);
        }
        g_object_unref(parser);
        g_object_unref(stream);
    }
    g_mime_format_options_free(format);
    setBytes(state, blocks);
}

// A folder of mails: the header blocks of the files in the folder named by
// KW_BENCH_MAILDIR (one mail a file; LF line ends become CR LF), or when none
// is named, 200 relayed mails built here, varied in their lines. Each block
// is one call.
Text headerOfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Text header;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r') continue;
        if (c == '\n') {
            header += u"\r\n";
            if (i + 1 < bytes.size() && (bytes[i + 1] == '\n' || bytes[i + 1] == '\r')) break;
            continue;
        }
        // Bytes are read as Latin-1: the rewrite looks at ASCII names only.
        header += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    return header + u"\r\n";
}

const Blocks& folderOfMails() {
    static const Blocks mails = [] {
        Blocks all;
        if (const char* folder = std::getenv("KW_BENCH_MAILDIR")) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
                if (entry.is_regular_file()) all.push_back(headerOfFile(entry.path()));
            return all;
        }
        for (int mail = 0; mail < 200; ++mail) {
            Text header = kRelayedHeader;
            const std::size_t cut = header.find(u"X-Priority");
            header.insert(cut, u"X-Folder-Index: " + Text(static_cast<std::size_t>(mail % 7 + 1), u'7') + u"\r\n");
            all.push_back(header);
        }
        return all;
    }();
    return mails;
}

#define KW_SIDE_BY_SIDE(name, input, ...)                                                    \
    void BM_##name##_RewriteHeader(benchmark::State& s) { rewrite(s, input); }               \
    BENCHMARK(BM_##name##_RewriteHeader) __VA_ARGS__;                                        \
    void BM_##name##_TwoPassReference(benchmark::State& s) { twoPass(s, input); }            \
    BENCHMARK(BM_##name##_TwoPassReference) __VA_ARGS__;                                     \
    void BM_##name##_GMime(benchmark::State& s) { gmime(s, input); }                         \
    BENCHMARK(BM_##name##_GMime) __VA_ARGS__;                                                \
    void BM_##name##_CrLfScan(benchmark::State& s) { crlfScan(s, input); }                   \
    BENCHMARK(BM_##name##_CrLfScan) __VA_ARGS__;                                             \
    void BM_##name##_Copy(benchmark::State& s) { copy(s, input); }                           \
    BENCHMARK(BM_##name##_Copy) __VA_ARGS__

const Blocks& block20000() {
    static const Blocks block{headerOfLines(20000)};
    return block;
}

const Blocks& header3KB() {
    static const Blocks block{kRelayedHeader};
    return block;
}

KW_SIDE_BY_SIDE(Header3KB, header3KB(), );
KW_SIDE_BY_SIDE(FolderOfMails, folderOfMails(), ->Unit(benchmark::kMicrosecond));
KW_SIDE_BY_SIDE(Block20000Lines, block20000(), ->Unit(benchmark::kMicrosecond));

void BM_RewriteHeader_Lines(benchmark::State& state) {
    rewrite(state, Blocks{headerOfLines(state.range(0))});
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RewriteHeader_Lines)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// The floor at each of those sizes: once the text and the result no longer
// fit the processor's caches, the scan's cost per byte rises too.
void BM_CrLfScan_Lines(benchmark::State& state) {
    crlfScan(state, Blocks{headerOfLines(state.range(0))});
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_CrLfScan_Lines)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

}  // namespace
