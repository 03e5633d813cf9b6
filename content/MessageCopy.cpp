// When the "SaveTo" setting names a folder, every mail whose content is
// assembled is also written there as "<subject>.eml", unless a file of that
// name is there already. Every failure of the copy is skipped: the copy must
// never stop the check of the mail.
#include "content/MessageCopy.h"

#include "errorcapture/frame.h"
#include "functions/Functions.h"
#include "outside/mailhelper.h"
#include "platform/casefold.h"
#include "platform/files.h"
#include "settings/RegRW.h"

namespace kw {

namespace {
constexpr std::int16_t kInternetMessageFormat = 1024;
}

bool General::FileExist(const Text& FilePathname, Site at) {
    Text File, Filename;
    std::int32_t i = 0;
    return Procedure(modules::General, u"FileExist", at)
        .locals({KW_VAR(File), KW_VAR(Filename), KW_VAR(i)})
        .params({KW_VAR(FilePathname)})
        .run([&] {
            const std::optional<Text> found = platform::findFirstNormalFile(FilePathname);
            if (!found) raise(52, Site::here(), u"Bad file name or number");
            File = *found;
            // The name is what follows the last "\" (all of the path when
            // there is none): where the search for "\" from the start,
            // repeated on what follows, ends with i = 0.
            const std::size_t last = FilePathname.rfind(u'\\');
            Filename = last == Text::npos ? FilePathname : FilePathname.substr(last + 1);
            i = 0;
            return platform::lowerCase(File) == platform::lowerCase(Filename);
        });
}

void Functions::SaveMessageCopy(Text& SaveAsFileTo, Text& FileSubject) {
    const bool noIniFile = false;
    SaveAsFileTo = RegRW::RegRead(u"Software\\Kestrelwood\\Clients\\Outlook\\", u"SaveTo", u"S", noIniFile, Text(),
                                  platform::root::CurrentUser);
    if (SaveAsFileTo.empty()) return;
    if (SaveAsFileTo.back() != u'\\') SaveAsFileTo += u'\\';
    ignoringFailure([&] { FileSubject = asText(*mailhelper::Fields(SafeMailItem, mailhelper::PR_SUBJECT)); });
    const Text path = SaveAsFileTo + FileSubject + u".eml";
    // A copy is attempted only when the test says there is no such file: an
    // existing copy is never overwritten, also when the test itself fails.
    bool exists = true;
    ignoringFailure([&] { exists = General::FileExist(path); });
    if (!exists) ignoringFailure([&] { mailhelper::SaveAs(SafeMailItem, path, kInternetMessageFormat); });
}

}  // namespace kw
