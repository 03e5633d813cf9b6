// The kwolfunc host: drives the Functions component as the add-in does.
//
//   kwolfunc assemble FILE.eml   writes the text the spam client is given
//                                for that mail, UTF-8, byte for byte.
//   kwolfunc rewrite-header [--type text/plain|text/html]
//                                reads a header block (UTF-8) from standard
//                                input and writes the block the component
//                                makes of it, byte for byte, CR LF kept.
//
// Exit codes: 0 done, 1 the component failed, 2 bad command line,
// 3 the input could not be read. Errors are one line on standard error.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "content/RewriteHeader.h"
#include "core/runtimeerror.h"
#include "functions/FunctionsObject.h"
#include "standins/eml.h"
#include "standins/environment.h"

namespace {

using platform::ComPtr;

enum Exit { kDone = 0, kComponentFailed = 1, kUsage = 2, kBadInput = 3 };

int usage() {
    std::fputs("usage: kwolfunc assemble FILE.eml | rewrite-header [--type text/plain|text/html]\n", stderr);
    return kUsage;
}

int write(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return std::fflush(stdout) == 0 ? kDone : kComponentFailed;
}

int assemble(const std::string& path) {
    standins::Environment env;
    standins::MailItem* mail = env.outlook.addMail(env.outlook.defaultFolder(6), "assembled");
    std::string error = standins::loadEml(path, *mail);
    if (!error.empty()) {
        std::fprintf(stderr, "kwolfunc: %s\n", error.c_str());
        return kBadInput;
    }
    // The model is attached to the stand-ins for the one call and detached
    // again on every way out, a failing call included.
    struct Attached {
        kw::Functions model;
        explicit Attached(standins::Environment& env) {
            model.ObjNS = ComPtr<IDispatch>::share(env.outlook.ns()).query<_NameSpace>();
            model.InitCOM();
        }
        ~Attached() {
            model.UnInitCOM();
            model.ObjNS.reset();
        }
    };
    std::string text;
    try {
        Attached attached(env);
        ComPtr<_MailItem> item = ComPtr<IDispatch>::share(mail).query<_MailItem>();
        text = platform::toUtf8(attached.model.GetCompleteMessageContent(item));
    } catch (const kw::RuntimeError& failure) {
        std::fprintf(stderr, "kwolfunc: the component failed with error %d: %s\n", failure.number(),
                     platform::toUtf8(failure.description()).c_str());
        return kComponentFailed;
    }
    return write(text);
}

int rewriteHeader(const std::string& type) {
    if (type != "text/plain" && type != "text/html") return usage();
    std::string in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    kw::HeaderRewrite work;
    return write(platform::toUtf8(kw::RewriteHeader(platform::fromUtf8(in), platform::fromUtf8(type), work)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    int status = kUsage;
    if (command == "assemble" && argc == 3)
        status = assemble(argv[2]);
    else if (command == "rewrite-header" && argc == 2)
        return rewriteHeader("text/plain");
    else if (command == "rewrite-header" && argc == 4 && std::string(argv[2]) == "--type")
        return rewriteHeader(argv[3]);
    else
        return usage();
    kw::releaseThreadOutlookApplication();
    if (standins::liveObjects() != 0) {
        std::fprintf(stderr, "kwolfunc: %ld stand-in objects were not released\n", standins::liveObjects().load());
        return kComponentFailed;
    }
    return status;
}
