// General: one accessor per client setting. Each reads or writes one value
// below HKEY_CURRENT_USER through RegRW, turns the stored text into the type
// its caller wants and supplies the default when the value is missing.
// Nothing is cached: every call goes to the store, so a change made by the
// rest of the client counts from the next call on.
#pragma once

#include <cstdint>

#include "core/runtimeerror.h"

namespace kw::General {

// The spam folder's EntryID for the mail profile: stored per profile name,
// or in the folders key itself when the name is empty. Empty when none is
// stored.
Text GetSpamfolderID(const Text& ProfileName, Site at = Site::here());
void WriteSpamfolderID(const Text& ProfileName, const Text& SpamfolderID, Site at = Site::here());

// The vote at or above which a mail is spam; 50 when none (or 0) is stored.
std::int32_t GetThreshold(Site at = Site::here());

// The unread flag for a mail moved into the spam folder: False only when
// "Move as Read" holds 1.
bool GetMoveMsgRead(Site at = Site::here());

// The "CheckMails" setting; 0 when missing.
std::int32_t GetCheckMail(Site at = Site::here());

// Counts one more checked mail, and for spam one more spam mail. A counter
// that already holds the largest Long fails with run-time error 6 before
// anything is written.
void RecheckCount(const bool& Spammail, Site at = Site::here());

}  // namespace kw::General
