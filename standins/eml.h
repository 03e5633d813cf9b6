// Fills a stand-in mail item from an .eml file, the way the mail helper
// shows a stored mail: the header block as the file has it (CR LF line
// ends), the decoded subject, the decoded text/plain and text/html parts,
// and every attachment with its decoded size, MIME type and content.
// Parsing and decoding are GMime's.
#pragma once

#include <string>

#include "standins/outlook.h"

namespace standins {

// Returns an empty text on success, else one line saying what went wrong.
std::string loadEml(const std::string& path, MailItem& mail);

}  // namespace standins
