// An Apply that cannot keep what the user changed, on each of the three
// pages: the user is told in the page's own words, the sheet stays open with
// the change shown, nothing is saved or announced beyond what the store was
// asked before it refused, and the store is left as it was. Once the cause
// is gone, OK saves the change and Cancel drops it. Without a change there
// is nothing to lose: nothing is said and OK closes the sheet.

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/scoped_environment.h"
#include "common/test_paths.h"
#include "components/component_ids.h"
#include "handlers/prop_sheet_handlers.h"
#include "pages/categories/categories_fixture.h"
#include "pages/common/held_store_lock.h"
#include "pages/common/page_harness.h"
#include "pages/general/general_fixture.h"
#include "pages/lifecycle/lifecycle_fixture.h"
#include "resources/resource.h"
#include "store/core/document_store.h"
#include "store/core/store_paths.h"

namespace zrvtest {
namespace {

// One call in the store's journal, without the document's path.
struct Call {
    const wchar_t* operation;
    int id;  // -1 for a call on the whole document
};
using Calls = std::vector<Call>;

constexpr wchar_t kSetText[] = L"SetStringProperty";
constexpr wchar_t kSetValue[] = L"SetProperty";
constexpr Call kSave = {L"SaveDocument", -1};
constexpr Call kAnnounce = {L"UpdateDocument", -1};

Calls And(Calls calls, std::initializer_list<Call> more) {
    calls.insert(calls.end(), more);
    return calls;
}

const Calls kNothing;
// The Categories page writes its four texts, each one whether or not the
// store took the one before.
const Calls kTexts = {{kSetText, DOCPROP_TITLE},
                      {kSetText, DOCPROP_SUBJECT},
                      {kSetText, DOCPROP_AUTHOR},
                      {kSetText, DOCPROP_COMMENTS}};
const Calls kTextsSaved = And(kTexts, {kSave});
const Calls kTextsSavedAnnounced = And(kTexts, {kSave, kAnnounce});
// The Life Cycle page writes its three values for a document that expires.
const Calls kValues = {
    {kSetValue, DOCPROP_EXPIRATION}, {kSetValue, DOCPROP_REMINDER}, {kSetValue, DOCPROP_BURN_DISC}};
const Calls kValuesSaved = And(kValues, {kSave});
const Calls kValuesSavedAnnounced = And(kValues, {kSave, kAnnounce});

std::wstring Normalized(const std::wstring& path) {
    std::wstring normalized;
    EXPECT_HRESULT_SUCCEEDED(zrvstore::NormalizeDocumentPath(path.c_str(), normalized)) << path;
    return normalized;
}

void Commit(const std::wstring& storeFile, const std::wstring& doc,
            const zrvstore::DocumentChanges& changes) {
    zrvstore::DocumentStore store;
    ASSERT_HRESULT_SUCCEEDED(store.Initialize(storeFile));
    ASSERT_HRESULT_SUCCEEDED(
        store.Commit(Normalized(doc), changes, zrvstore::DocumentStore::ReadOnlyRule::Ignore));
}

// What the store holds for doc; an empty record when nothing.
zrvstore::DocumentRecord Record(const std::wstring& storeFile, const std::wstring& doc) {
    zrvstore::DocumentStore store;
    zrvstore::DocumentRecord record;
    bool found = false;
    EXPECT_HRESULT_SUCCEEDED(store.Initialize(storeFile));
    EXPECT_HRESULT_SUCCEEDED(store.Find(Normalized(doc), record, found));
    return found ? record : zrvstore::DocumentRecord();
}

std::wstring Text(const zrvstore::DocumentRecord& record, int id) {
    return record.Has(id) ? record.texts[id] : L"<unset>";
}

// One page alone in a sheet on one document, as the table drives it.
class PageDriver {
  public:
    PageDriver(const std::wstring& storeFile, const std::wstring& doc)
        : m_storeFile(storeFile), m_doc(doc) {}
    virtual ~PageDriver() = default;
    PageDriver(const PageDriver&) = delete;
    PageDriver& operator=(const PageDriver&) = delete;

    // What the document holds before the page reads it.
    virtual void Seed() {}
    // False when the page did not open.
    virtual bool Open() = 0;
    virtual PageSheet& sheet() = 0;
    // The user's change.
    virtual void Edit() = 0;
    // The value the user changes, as the page shows it and as it is kept.
    virtual std::wstring Shown() = 0;
    virtual std::wstring Kept() = 0;
    // A change that the page saves as soon as it is made, made while a
    // refused change waits for OK; it must save nothing of that one.
    virtual void ChangeSavedAtOnce() {}

  protected:
    const std::wstring m_storeFile;
    const std::wstring m_doc;
};

class CategoriesDriver : public PageDriver {
  public:
    using PageDriver::PageDriver;
    void Seed() override {
        zrvstore::DocumentChanges changes;
        changes.properties.SetText(DOCPROP_TITLE, L"Stored title");
        Commit(m_storeFile, m_doc, changes);
    }
    bool Open() override {
        m_sheet = std::make_unique<zrvcattest::CategoriesSheet>(std::vector<std::wstring>{m_doc});
        return m_sheet->ok();
    }
    PageSheet& sheet() override { return m_sheet->sheet(); }
    void Edit() override { Type(m_sheet->page(), zrvcattest::kTitle, L"Typed title"); }
    std::wstring Shown() override { return m_sheet->Text(zrvcattest::kTitle); }
    std::wstring Kept() override { return Text(Record(m_storeFile, m_doc), DOCPROP_TITLE); }
    // An arrow saves at once, and only its categories.
    void ChangeSavedAtOnce() override {
        ASSERT_TRUE(m_sheet->Select(m_sheet->AvailableList(), {L"Alpha"}));
        m_sheet->Add();
        EXPECT_EQ(L"Alpha", Text(Record(m_storeFile, m_doc), DOCPROP_CATEGORIES));
    }

  private:
    std::unique_ptr<zrvcattest::CategoriesSheet> m_sheet;
};

class LifeCycleDriver : public PageDriver {
  public:
    using PageDriver::PageDriver;
    void Seed() override {
        zrvstore::DocumentChanges changes;
        changes.properties.SetValue(zrvstore::kExpirationId,
                                    zrvlifecycletest::Ticks(zrvlifecycletest::Utc(2030, 6, 1)));
        changes.properties.SetValue(zrvstore::kReminderId, 1);
        changes.properties.SetValue(zrvstore::kBurnDiscId, 0);
        Commit(m_storeFile, m_doc, changes);
    }
    bool Open() override {
        m_sheet = std::make_unique<PageSheet>(
            std::vector<ObjectCreator>{&CZRVPropSheet_LifeCycle::Create},
            std::vector<std::wstring>{m_doc});
        m_page = m_sheet->ok() ? m_sheet->Page(0) : nullptr;
        return m_page != nullptr;
    }
    PageSheet& sheet() override { return *m_sheet; }
    void Edit() override { Click(m_page, zrvlifecycletest::kBurn); }
    std::wstring Shown() override {
        return IsChecked(m_page, zrvlifecycletest::kBurn) ? L"burn checked" : L"burn unchecked";
    }
    std::wstring Kept() override {
        const zrvstore::DocumentRecord record = Record(m_storeFile, m_doc);
        const std::string date =
            zrvlifecycletest::DateText(zrvlifecycletest::AsDate(record.expiration));
        return L"expires " + std::wstring(date.begin(), date.end()) + L", reminder " +
               std::to_wstring(record.reminder) + L", burn " + std::to_wstring(record.burnDisc);
    }

  private:
    std::unique_ptr<PageSheet> m_sheet;
    HWND m_page = nullptr;
};

class GeneralDriver : public PageDriver {
  public:
    using PageDriver::PageDriver;
    bool Open() override {
        m_sheet = std::make_unique<GeneralSheet>(m_doc);
        if (!m_sheet->ok()) return false;
        EXPECT_TRUE(m_sheet->WaitForWorker());
        return true;
    }
    PageSheet& sheet() override { return *m_sheet; }
    void Edit() override { Click(m_sheet->page(), IDC_GENERAL_HIDDEN); }
    std::wstring Shown() override {
        return IsChecked(m_sheet->page(), IDC_GENERAL_HIDDEN) ? L"hidden" : L"not hidden";
    }
    std::wstring Kept() override {
        const DWORD attributes = Attributes(m_doc);
        if (attributes == INVALID_FILE_ATTRIBUTES) return L"gone";
        return (attributes & FILE_ATTRIBUTE_HIDDEN) ? L"hidden" : L"not hidden";
    }

  private:
    std::unique_ptr<GeneralSheet> m_sheet;
};

template <typename Driver>
std::unique_ptr<PageDriver> Make(const std::wstring& storeFile, const std::wstring& doc) {
    return std::make_unique<Driver>(storeFile, doc);
}

// The value the user changes, as the page shows it and as it is kept.
struct Value {
    const wchar_t* shown;
    const wchar_t* kept;
};

struct Page {
    const char* name;
    std::unique_ptr<PageDriver> (*driver)(const std::wstring& storeFile, const std::wstring& doc);
    UINT notSaved;                // the page's message for a change it could not keep
    const wchar_t* refusedWrite;  // the property whose write the store refuses
    Value before;
    Value edited;
    const Calls& saved;  // the OK that saves the change, once the cause is gone
};

const Page kCategories = {
    "Categories",
    &Make<CategoriesDriver>,
    IDS_CATEGORIES_NOT_SAVED,
    L"1",  // the subject
    {L"Stored title", L"Stored title"},
    {L"Typed title", L"Typed title"},
    kTextsSavedAnnounced,
};
const Page kLifeCycle = {
    "Life Cycle",
    &Make<LifeCycleDriver>,
    IDS_LIFECYCLE_NOT_SAVED,
    L"18",  // the reminder
    {L"burn unchecked", L"expires 2030-06-01 00:00:00.000, reminder 1, burn 0"},
    {L"burn checked", L"expires 2030-06-01 00:00:00.000, reminder 1, burn 1"},
    kValuesSavedAnnounced,
};
const Page kGeneral = {
    "General",
    &Make<GeneralDriver>,
    IDS_GENERAL_NOT_SAVED,
    nullptr,  // nothing of it is in the store
    {L"not hidden", L"not hidden"},
    {L"hidden", L"hidden"},
    kNothing,
};

enum class Cause {
    kWriteRefused,  // the store refuses the page's refusedWrite
    kSaveRefused,   // the store file is read-only
    kStoreBusy,     // another program holds the store longer than a call waits
    kFileDeleted,   // the document went away under the page
};

const char* CauseName(Cause cause) {
    switch (cause) {
        case Cause::kWriteRefused:
            return "a write refused";
        case Cause::kSaveRefused:
            return "the save refused";
        case Cause::kStoreBusy:
            return "the store busy";
        case Cause::kFileDeleted:
            return "the file deleted";
    }
    return "?";
}

// A cause, in force from its construction until Remove or the end of the
// scope.
class CauseInForce {
  public:
    CauseInForce(Cause cause, const Page& page, const std::wstring& storeFile,
                 const std::wstring& doc)
        : m_storeFile(storeFile),
          m_doc(cause == Cause::kFileDeleted ? doc : std::wstring()),
          m_elsewhere(cause == Cause::kStoreBusy ? storeFile : std::wstring()) {
        switch (cause) {
            case Cause::kWriteRefused:
                // A page that writes nothing to the store has no write to refuse.
                if (page.refusedWrite) {
                    m_failingWrites.emplace(L"ZRV_STORE_TEST_FAILING_WRITES", page.refusedWrite);
                }
                m_inForce = m_failingWrites.has_value();
                break;
            case Cause::kSaveRefused:
                m_inForce = ::SetFileAttributesW(m_storeFile.c_str(), FILE_ATTRIBUTE_READONLY);
                break;
            case Cause::kStoreBusy:
                m_inForce = m_elsewhere.held();
                break;
            case Cause::kFileDeleted:
                m_inForce = ::DeleteFileW(m_doc.c_str());
                break;
        }
    }
    CauseInForce(const CauseInForce&) = delete;
    CauseInForce& operator=(const CauseInForce&) = delete;
    ~CauseInForce() { Remove(); }

    bool inForce() const { return m_inForce; }
    // A deleted document comes back as it was made.
    void Remove() {
        m_failingWrites.reset();
        m_elsewhere.Release();
        ::SetFileAttributesW(m_storeFile.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!m_doc.empty() && ::GetFileAttributesW(m_doc.c_str()) == INVALID_FILE_ATTRIBUTES) {
            EXPECT_TRUE(WriteFileBytes(m_doc, "content"));
        }
        m_inForce = false;
    }

  private:
    const std::wstring m_storeFile;
    const std::wstring m_doc;
    std::optional<ScopedEnvironment> m_failingWrites;
    HeldStoreLock m_elsewhere;
    bool m_inForce = false;
};

// What the sheet does with the first OK, and how it ends.
enum class After {
    kToldThenOk,      // the user is told, the sheet stays open; OK once the cause is gone
    kToldThenCancel,  // the same; Cancel once the cause is gone
    kClosesQuietly,   // nothing said; the first OK closes the sheet
};

// What the user changed before the cause came.
enum class Change {
    kNone,     // nothing since the page opened
    kMade,     // the page's edit, not yet applied
    kApplied,  // the page's edit, applied and kept: nothing since
};

struct Row {
    const Page& page;
    Cause cause;
    Change change;
    After after;
    const Calls& journal;  // what the store was asked during the first OK
};

constexpr Change kEdit = Change::kMade;
constexpr Change kNoEdit = Change::kNone;
constexpr Change kEditApplied = Change::kApplied;

const Row kRows[] = {
    {kCategories, Cause::kWriteRefused, kEdit, After::kToldThenOk, kTexts},
    {kCategories, Cause::kWriteRefused, kEdit, After::kToldThenCancel, kTexts},
    {kCategories, Cause::kSaveRefused, kEdit, After::kToldThenOk, kTextsSaved},
    {kCategories, Cause::kSaveRefused, kEdit, After::kToldThenCancel, kTextsSaved},
    {kCategories, Cause::kStoreBusy, kEdit, After::kToldThenOk, kNothing},
    {kCategories, Cause::kStoreBusy, kEdit, After::kToldThenCancel, kNothing},
    {kLifeCycle, Cause::kWriteRefused, kEdit, After::kToldThenOk, kValues},
    {kLifeCycle, Cause::kWriteRefused, kEdit, After::kToldThenCancel, kValues},
    {kLifeCycle, Cause::kSaveRefused, kEdit, After::kToldThenOk, kValuesSaved},
    {kLifeCycle, Cause::kSaveRefused, kEdit, After::kToldThenCancel, kValuesSaved},
    {kLifeCycle, Cause::kStoreBusy, kEdit, After::kToldThenOk, kNothing},
    {kLifeCycle, Cause::kStoreBusy, kEdit, After::kToldThenCancel, kNothing},
    {kGeneral, Cause::kFileDeleted, kEdit, After::kToldThenOk, kNothing},
    {kGeneral, Cause::kFileDeleted, kEdit, After::kToldThenCancel, kNothing},
    {kGeneral, Cause::kFileDeleted, kNoEdit, After::kClosesQuietly, kNothing},
    // Nothing of the user's at stake: an Apply that could not write back what
    // the store holds says nothing, as a store busy elsewhere often is.
    {kCategories, Cause::kWriteRefused, kNoEdit, After::kClosesQuietly, kTexts},
    {kCategories, Cause::kSaveRefused, kNoEdit, After::kClosesQuietly, kTextsSaved},
    {kCategories, Cause::kStoreBusy, kNoEdit, After::kClosesQuietly, kNothing},
    {kCategories, Cause::kWriteRefused, kEditApplied, After::kClosesQuietly, kTexts},
    {kCategories, Cause::kSaveRefused, kEditApplied, After::kClosesQuietly, kTextsSaved},
    {kCategories, Cause::kStoreBusy, kEditApplied, After::kClosesQuietly, kNothing},
    {kLifeCycle, Cause::kWriteRefused, kNoEdit, After::kClosesQuietly, kValues},
    {kLifeCycle, Cause::kSaveRefused, kNoEdit, After::kClosesQuietly, kValuesSaved},
    {kLifeCycle, Cause::kStoreBusy, kNoEdit, After::kClosesQuietly, kNothing},
    {kLifeCycle, Cause::kStoreBusy, kEditApplied, After::kClosesQuietly, kNothing},
};

// The Categories suites' bench serves every page: a private store,
// catalogue and list of editable types per test, and the store's journal.
class RefusedApply : public zrvcattest::CategoriesPageTest {
  protected:
    std::vector<std::wstring> Lines(const Calls& calls, const std::wstring& doc) {
        std::vector<std::wstring> lines;
        for (const Call& call : calls) lines.push_back(Line(call.operation, doc, call.id));
        return lines;
    }

    void Run(const Row& row, const std::wstring& doc);
};

void RefusedApply::Run(const Row& row, const std::wstring& doc) {
    const Page& page = row.page;
    const std::vector<std::wstring> silence;
    const std::vector<std::wstring> told = {ModuleString(page.notSaved)};
    ASSERT_FALSE(told[0].empty());
    const bool refused = row.after != After::kClosesQuietly;

    const std::unique_ptr<PageDriver> driver = page.driver(m_storeFile, doc);
    driver->Seed();
    ASSERT_TRUE(driver->Open());
    if (row.change != Change::kNone) driver->Edit();
    if (row.change == Change::kApplied) {
        driver->sheet().Apply();
        ASSERT_EQ(silence, driver->sheet().Messages());
    }
    const Value& stored = row.change == Change::kApplied ? page.edited : page.before;
    const bool pending = row.change == Change::kMade;
    {
        ClearJournal();
        CauseInForce cause(row.cause, page, m_storeFile, doc);
        ASSERT_TRUE(cause.inForce());
        EXPECT_EQ(!refused, driver->sheet().Ok())
            << (refused ? "the sheet stays open" : "OK closes");
        cause.Remove();
        EXPECT_EQ(refused ? told : silence, driver->sheet().Messages());
        EXPECT_EQ(Lines(row.journal, doc), Journal()) << "nothing more saved, nothing announced";
        EXPECT_EQ(stored.kept, driver->Kept());
        if (!refused) return;
        EXPECT_EQ((pending ? page.edited : page.before).shown, driver->Shown());
    }
    driver->ChangeSavedAtOnce();
    EXPECT_EQ(stored.kept, driver->Kept());

    const bool ok = row.after == After::kToldThenOk;
    ClearJournal();
    EXPECT_TRUE(ok ? driver->sheet().Ok() : driver->sheet().Cancel());
    EXPECT_EQ(silence, driver->sheet().Messages());
    EXPECT_EQ((ok && pending ? page.edited : page.before).kept, driver->Kept());
    EXPECT_EQ(Lines(ok && pending ? page.saved : kNothing, doc), Journal());
}

TEST_F(RefusedApply, ChangeThatCannotBeKeptIsToldAndWaitsForTheCauseToGo) {
    for (size_t i = 0; i < ARRAYSIZE(kRows); ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(testing::Message()
                     << "row " << i << ": " << row.page.name << ", " << CauseName(row.cause)
                     << (row.change == Change::kMade      ? ", changed"
                         : row.change == Change::kApplied ? ", changed and applied"
                                                          : ", unchanged"));
        Run(row, Document(L"refused" + std::to_wstring(i) + L".doc"));
    }
}

}  // namespace
}  // namespace zrvtest
