#include "standins/mailbox.h"

#include <set>

#include "core/runtimeerror.h"
#include "support/files.h"
#include "support/fixture.h"

namespace {

namespace fs = std::filesystem;
using kwtest::ComPtr;
using kwtest::Text;
namespace ol = kw::outlook;

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

class MailboxTest : public kwtest::StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        store_ = root_ / "Box";
        kwtest::writeFileBytes(store_ / "Inbox" / "a.eml", "Subject: a\n\nfirst\n");
        kwtest::writeFileBytes(store_ / "Inbox" / "a.eml.addr", "sent-type: EX\nsent-address: /o=Org/cn=a\n");
        kwtest::writeFileBytes(store_ / "Inbox" / "b.read.eml", "Subject: b\n\nsecond\n");
        kwtest::writeFileBytes(store_ / "Work" / "a.eml", "Subject: other a\n\nthird\n");
        kwtest::writeFileBytes(store_ / "Contacts" / "x.vcf", "BEGIN:VCARD\r\nFN:Ann\r\n Example\r\nEMAIL;TYPE=work:ann@example.org\r\nEND:VCARD\r\n");
    }
    void TearDown() override {
        mailbox_.reset();
        StandInTest::TearDown();
    }
    standins::Mailbox& open() {
        mailbox_ = std::make_unique<standins::Mailbox>(outlook(), std::vector<fs::path>{store_, root_ / "Archive"});
        return *mailbox_;
    }
    standins::MailItem& mail(const fs::path& file) { return *mailbox_->mailAt(file); }
    static ComPtr<_MailItem> item(standins::MailItem& m) { return ComPtr<IDispatch>::share(&m).query<_MailItem>(); }
    static kw::ByName<MAPIFolder> folder(standins::Folder* f) { return ComPtr<IDispatch>::share(f).query<MAPIFolder>(); }

    kwtest::TempDir dir_;
    fs::path root_ = dir_.path(), store_;
    std::unique_ptr<standins::Mailbox> mailbox_;
};

TEST_F(MailboxTest, StoresFoldersAndItemsComeFromTheDisk) {
    standins::Mailbox& box = open();
    EXPECT_EQ(outlook().defaultStore()->displayName, u"Box");
    EXPECT_TRUE(fs::is_directory(store_ / "Sent Items")) << "default folders are made when missing";
    EXPECT_TRUE(fs::is_directory(root_ / "Archive"));
    std::set<Text> ids;
    for (standins::Folder* f : box.folders()) ids.insert(f->entryId);
    EXPECT_EQ(ids.size(), box.folders().size()) << "EntryIDs are unique";
    EXPECT_EQ(box.folderAt(store_ / "Work")->entryId, u"426F782F576F726B");  // hex of Box/Work

    EXPECT_TRUE(mail(store_ / "Inbox" / "a.eml").unread);
    EXPECT_FALSE(mail(store_ / "Inbox" / "b.read.eml").unread);
    auto* contact = dynamic_cast<standins::ContactItem*>(outlook().defaultFolder(10)->items.at(0));
    ASSERT_NE(contact, nullptr);
    EXPECT_EQ(contact->fullName, u"AnnExample");
    EXPECT_EQ(contact->address[0], u"ann@example.org");
    EXPECT_EQ(contact->addressType[0], u"SMTP");

    standins::MailItem& a = mail(store_ / "Inbox" / "a.eml");
    EXPECT_EQ(box.load(a), "");
    EXPECT_EQ(a.body, u"first\n");
    standins::Mailbox::unload(a);
    EXPECT_TRUE(a.body.empty());
}

TEST_F(MailboxTest, ChangesReachTheDiskAndSurviveAReopen) {
    standins::Mailbox& box = open();
    const Text workId = box.folderAt(store_ / "Work")->entryId;
    // A move into a folder holding a file of the same name takes a fresh name;
    // the read flag travels in the name.
    ol::Move(item(mail(store_ / "Inbox" / "a.eml")), folder(box.folderAt(store_ / "Work")));
    ol::SetUnRead(item(mail(store_ / "Work" / "a-1.eml")), false);
    ol::SetUnRead(item(mail(store_ / "Inbox" / "b.read.eml")), true);
    kw::ByName<MAPIFolder> added = ol::FoldersAdd(ol::Folders(folder(box.folderAt(store_ / "Work"))), u"New", 1);
    EXPECT_EQ(ol::EntryID(added), u"426F782F576F726B2F4E6577");
    EXPECT_EQ(namesIn(store_ / "Work"), (std::set<std::string>{"New", "a.eml", "a-1.read.eml", "a-1.read.eml.addr"}));
    EXPECT_EQ(namesIn(store_ / "Inbox"), (std::set<std::string>{"b.eml"}));
    added.reset();

    mailbox_.reset();
    standins::OutlookWorld again;
    standins::Mailbox reopened(again, {store_});
    EXPECT_EQ(reopened.folderAt(store_ / "Work")->entryId, workId) << "EntryIDs are stable across runs";
    ASSERT_NE(reopened.mailAt(store_ / "Work" / "a-1.read.eml"), nullptr);
    standins::MailItem& moved = *reopened.mailAt(store_ / "Work" / "a-1.read.eml");
    EXPECT_FALSE(moved.unread);
    EXPECT_EQ(reopened.load(moved), "");
    EXPECT_EQ(standins::utf8(moved.properties.at(kw::mailhelper::PR_SENT_REPRESENTING_EMAIL_ADDRESS).get()->bstrVal),
              "/o=Org/cn=a") << "the sidecar's addresses travel with the mail";
    EXPECT_TRUE(reopened.mailAt(store_ / "Inbox" / "b.eml")->unread);
    EXPECT_NE(reopened.folderAt(store_ / "Work" / "New"), nullptr);
}

// Each change that the disk refuses fails the call and leaves the world and
// the files as they were.
TEST_F(MailboxTest, ARefusedChangeFailsTheCallAndChangesNothing) {
    struct Row {
        const char* what;
        std::function<void(standins::Mailbox&)> change;
    };
    const Row rows[] = {
        {"move into a folder whose directory is gone",
         [&](standins::Mailbox& box) {
             fs::remove_all(store_ / "Work");
             ol::Move(item(mail(store_ / "Inbox" / "a.eml")), folder(box.folderAt(store_ / "Notes")->parent->subfolders.back()));
         }},
        {"read flag of a mail whose file is gone",
         [&](standins::Mailbox&) {
             standins::MailItem& a = mail(store_ / "Inbox" / "a.eml");
             fs::remove(store_ / "Inbox" / "a.eml");
             ol::SetUnRead(item(a), false);
         }},
        {"folder over an existing file", [&](standins::Mailbox& box) {
             kwtest::writeFileBytes(store_ / "Work" / "Taken", "");
             ol::FoldersAdd(ol::Folders(folder(box.folderAt(store_ / "Work"))), u"Taken", 1);
         }},
        {"folder name with a separator", [&](standins::Mailbox& box) {
             ol::FoldersAdd(ol::Folders(folder(box.folderAt(store_ / "Work"))), u"a/b", 1);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        standins::Mailbox& box = open();
        const std::size_t folders = box.folders().size();
        standins::MailItem& a = mail(store_ / "Inbox" / "a.eml");
        standins::Folder* inbox = a.folder;
        EXPECT_THROW(row.change(box), kw::RuntimeError);
        EXPECT_EQ(a.folder, inbox);
        EXPECT_TRUE(a.unread);
        EXPECT_EQ(box.folders().size(), folders);
        mailbox_.reset();
        fs::remove_all(root_);
    }
}

}  // namespace
