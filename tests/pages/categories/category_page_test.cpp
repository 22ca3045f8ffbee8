// The Categories page end to end: a real sheet, the registered document
// store, application services and category list control, with what they
// stored and announced read back from the store and its journal.

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <thread>

#include "pages/categories/categories_fixture.h"
#include "pages/prop_page.h"

namespace zrvcattest {
namespace {

using Lines = std::vector<std::wstring>;
using Names = std::vector<std::wstring>;

BOOL CALLBACK CountHostWindows(HWND window, LPARAM count) {
    wchar_t name[32] = {};
    ::GetClassNameW(window, name, ARRAYSIZE(name));
    if (::lstrcmpiW(name, L"AtlAxWin80") == 0) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Host windows of this thread that are not inside some other window.
int TopLevelHostWindows() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountHostWindows,
                        reinterpret_cast<LPARAM>(&count));
    return count;
}

// Replaces the field's selection as typing or pasting does: the edit
// control keeps to its limit and tells the page itself.
void TypeAsUser(HWND page, int id, int selectFrom, int selectTo, const std::wstring& text) {
    HWND edit = ::GetDlgItem(page, id);
    ::SendMessageW(edit, EM_SETSEL, selectFrom, selectTo);
    ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

class CategoriesPage : public CategoriesPageTest {};

TEST_F(CategoriesPage, OpensWithTheStoredTextsTheCatalogueAndTheDocumentsCategories) {
    const std::wstring doc = Document(L"Quarterly.doc");
    Store(doc, DOCPROP_TITLE, L"Quarterly report");
    Store(doc, DOCPROP_SUBJECT, L"Figures");
    Store(doc, DOCPROP_AUTHOR, L"Ann Example");
    Store(doc, DOCPROP_COMMENTS, L"Draft for the board");
    Store(doc, DOCPROP_CATEGORIES, L"Work; Home");
    {
        CategoriesSheet sheet({doc});
        ASSERT_TRUE(sheet.ok());
        EXPECT_EQ(L"Quarterly report", sheet.Text(kTitle));
        EXPECT_EQ(L"Figures", sheet.Text(kSubject));
        EXPECT_EQ(L"Ann Example", sheet.Text(kAuthor));
        EXPECT_EQ(L"Draft for the board", sheet.Text(kComments));
        EXPECT_EQ(1, sheet.EditingEnabled());

        // Each list sits in its frame, which dialog navigation may enter.
        for (int frameId : {kAvailableFrame, kAssignedFrame}) {
            HWND frame = ::GetDlgItem(sheet.page(), frameId);
            HWND host = ::GetWindow(frame, GW_CHILD);
            ASSERT_NE(nullptr, host) << frameId;
            EXPECT_TRUE(::IsWindowVisible(host)) << frameId;
            RECT frameArea = {}, hostArea = {};
            ::GetClientRect(frame, &frameArea);
            ::GetWindowRect(host, &hostArea);
            EXPECT_EQ(frameArea.right, hostArea.right - hostArea.left) << frameId;
            EXPECT_EQ(frameArea.bottom, hostArea.bottom - hostArea.top) << frameId;
            EXPECT_TRUE(::GetWindowLongW(frame, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) << frameId;
        }
        EXPECT_EQ(kCatalogue, ListItems(sheet.AvailableList()));
        EXPECT_EQ((Names{L"Home", L"Work"}), ListItems(sheet.AssignedList()));

        ::SendMessageW(sheet.page(), WM_HELP, 0, 0);
        wchar_t owner[16] = {};
        ::wsprintfW(owner, L"0x%08lX",
                    static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(sheet.page())));
        EXPECT_EQ(std::wstring(L"ZRVHelp.chm|change_cat.htm|") + owner + L"\r\n", HelpLog());
    }
    EXPECT_EQ(0, TopLevelHostWindows());
    EXPECT_EQ(0, CZRVPropPage::LiveObjectCount());
    EXPECT_EQ(Lines{}, Journal()) << "opening and closing writes nothing";
}

TEST_F(CategoriesPage, ArrowsWriteTheSelectedCategoriesAtOnceAndTheListFollows) {
    const std::wstring doc = Document(L"Plan.doc");
    Store(doc, DOCPROP_CATEGORIES, L"Work; Home");
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    const Lines written = {Line(L"SetStringProperty", doc, DOCPROP_CATEGORIES),
                           Line(L"SaveDocument", doc), Line(L"UpdateDocument", doc)};

    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Alpha", L"Zeta"}));
    sheet.Add();
    EXPECT_EQ(L"Alpha; Home; Work; Zeta", Stored(doc, DOCPROP_CATEGORIES));
    EXPECT_EQ(written, Journal());
    EXPECT_TRUE(sheet.WaitForItems(sheet.AssignedList(), {L"Alpha", L"Home", L"Work", L"Zeta"}));

    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AssignedList(), {L"Home", L"Work"}));
    sheet.Remove();
    EXPECT_EQ(L"Alpha; Zeta; ", Stored(doc, DOCPROP_CATEGORIES));
    EXPECT_EQ(written, Journal());
    EXPECT_TRUE(sheet.WaitForItems(sheet.AssignedList(), {L"Alpha", L"Zeta"}));

    // Each press reads what is stored now, whoever wrote it.
    Store(doc, DOCPROP_CATEGORIES, L"Zeta");
    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AssignedList(), {L"Zeta"}));
    sheet.Remove();
    EXPECT_EQ(L"", Stored(doc, DOCPROP_CATEGORIES))
        << "removing the last category leaves an empty text";
    EXPECT_EQ(written, Journal());
    EXPECT_TRUE(sheet.WaitForItems(sheet.AssignedList(), {}));
}

TEST_F(CategoriesPage, ArrowsWithoutSelectionTouchNothingAndWithAssignedNamesStoreTheTextBack) {
    const std::wstring doc = Document(L"Notes.txt");
    const std::wstring stored = L"Work;  Home ;";
    Store(doc, DOCPROP_CATEGORIES, stored);
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());

    ClearJournal();
    sheet.Select(sheet.AvailableList(), {});
    sheet.Select(sheet.AssignedList(), {});
    sheet.Add();
    sheet.Remove();
    EXPECT_EQ(Lines{}, Journal());
    EXPECT_EQ(stored, Stored(doc, DOCPROP_CATEGORIES));

    // Nothing changes, but the press is still written and announced.
    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Home", L"Work"}));
    sheet.Add();
    EXPECT_EQ(stored, Stored(doc, DOCPROP_CATEGORIES));
    EXPECT_EQ((Lines{Line(L"SetStringProperty", doc, DOCPROP_CATEGORIES),
                     Line(L"SaveDocument", doc), Line(L"UpdateDocument", doc)}),
              Journal());
}

TEST_F(CategoriesPage, TypingMarksThePageChangedAndAFieldTakesAtMost511Characters) {
    const std::wstring doc = Document(L"Letter.doc");
    Store(doc, DOCPROP_TITLE, L"Old title");
    Store(doc, DOCPROP_AUTHOR, L"Old author");
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    sheet.ForgetChanges();
    ASSERT_FALSE(sheet.sheet().ApplyEnabled());

    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Travel"}));
    sheet.Add();
    EXPECT_EQ(L"Travel", Stored(doc, DOCPROP_CATEGORIES));
    EXPECT_FALSE(sheet.sheet().ApplyEnabled()) << "an arrow press leaves nothing to apply";
    EXPECT_EQ(L"Old title", Stored(doc, DOCPROP_TITLE));

    const std::wstring longComment(600, L'c');
    const std::wstring fullTitle(511, L't');
    zrvtest::Type(sheet.page(), kTitle, fullTitle);
    EXPECT_TRUE(sheet.sheet().ApplyEnabled());
    zrvtest::Type(sheet.page(), kSubject, L"New subject");
    TypeAsUser(sheet.page(), kComments, 0, -1, longComment);
    EXPECT_EQ(longComment.substr(0, 511), sheet.Text(kComments)) << "what Apply will store";
    EXPECT_EQ(L"<unset>", Stored(doc, DOCPROP_SUBJECT)) << "typed texts wait for Apply";

    ClearJournal();
    sheet.sheet().Apply();
    EXPECT_EQ(fullTitle, Stored(doc, DOCPROP_TITLE));
    EXPECT_EQ(L"New subject", Stored(doc, DOCPROP_SUBJECT));
    EXPECT_EQ(L"Old author", Stored(doc, DOCPROP_AUTHOR));
    EXPECT_EQ(longComment.substr(0, 511), Stored(doc, DOCPROP_COMMENTS));
    EXPECT_EQ(L"Travel", Stored(doc, DOCPROP_CATEGORIES)) << "Apply writes no categories";
    EXPECT_EQ(AllTextsApplied(doc), Journal());

    sheet.sheet().Close();
    CategoriesSheet reopened({doc});
    ASSERT_TRUE(reopened.ok());
    EXPECT_EQ(fullTitle, reopened.Text(kTitle));
    EXPECT_EQ(longComment.substr(0, 511), reopened.Text(kComments));
    EXPECT_EQ((Names{L"Travel"}), ListItems(reopened.AssignedList()));
}

// Texts longer than a user may type, or that the edit control would show
// otherwise, survive an Apply as long as nobody edits them; edited, they are
// stored as the field shows them.
TEST_F(CategoriesPage, UntouchedTextsAreWrittenBackExactlyAsStored) {
    const std::wstring doc = Document(L"Minutes.doc");
    const std::wstring longComment = std::wstring(599, L'c') + L"!";
    const std::wstring twoLines = L"First line\r\nsecond line";
    Store(doc, DOCPROP_TITLE, twoLines);
    Store(doc, DOCPROP_COMMENTS, longComment);
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(longComment, sheet.Text(kComments));

    ClearJournal();
    sheet.sheet().Apply();
    EXPECT_EQ(twoLines, Stored(doc, DOCPROP_TITLE));
    EXPECT_EQ(longComment, Stored(doc, DOCPROP_COMMENTS));
    EXPECT_EQ(AllTextsApplied(doc), Journal());

    // A field already past the limit can be shortened but takes nothing more.
    TypeAsUser(sheet.page(), kComments, 600, 600, L"more");
    TypeAsUser(sheet.page(), kComments, 599, 600, L"");
    sheet.sheet().Apply();
    EXPECT_EQ(longComment.substr(0, 599), Stored(doc, DOCPROP_COMMENTS));
}

// A paste cut at the field's limit can split a character in two; the half
// left over is no character at all and is not stored.
TEST_F(CategoriesPage, ATextCutInsideACharacterIsStoredAsWholeCharacters) {
    const std::wstring doc = Document(L"Smiles.doc");
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    const std::wstring smile = L"\xD83D\xDE00";
    std::wstring smiles;
    for (int i = 0; i < 300; ++i) smiles += smile;
    TypeAsUser(sheet.page(), kComments, 0, -1, smiles);
    const std::wstring nearlyFull(510, L'a');
    zrvtest::Type(sheet.page(), kTitle, nearlyFull);
    TypeAsUser(sheet.page(), kTitle, 0, 0, smile);
    sheet.sheet().Apply();
    EXPECT_EQ(smiles.substr(0, 510), Stored(doc, DOCPROP_COMMENTS));
    EXPECT_EQ(nearlyFull, Stored(doc, DOCPROP_TITLE));
}

TEST_F(CategoriesPage, ReadOnlyDocumentCanBeNeitherEditedNorApplied) {
    const std::wstring doc = Document(L"Contract.doc");
    Store(doc, DOCPROP_TITLE, L"Signed");
    Store(doc, DOCPROP_CATEGORIES, L"Work");
    SetReadOnly(doc, true);
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(L"Signed", sheet.Text(kTitle));
    EXPECT_EQ(0, sheet.EditingEnabled());

    ClearJournal();
    zrvtest::Type(sheet.page(), kTitle, L"Changed anyway");
    EXPECT_TRUE(sheet.sheet().ApplyEnabled());
    sheet.sheet().Apply();
    EXPECT_EQ(Lines{}, Journal()) << "nothing written, nothing announced";
    EXPECT_EQ(L"Signed", Stored(doc, DOCPROP_TITLE));
}

// The extension decides whether the texts and categories may be edited, as a
// plain substring of the list of editable types; the store has the last word.
TEST_F(CategoriesPage, TheFileTypeDecidesWhetherEditingIsOffered) {
    struct Case {
        const wchar_t* file;
        const wchar_t* types;
        bool readOnly;
        int editing;
    };
    const Case cases[] = {
        {L"Report.DOC", L"docx;txt", false, 1},  // "doc" inside "docx"
        {L"Report.DOC", L"txt;pdf", false, 0},
        {L"README", L"txt", false, 1},  // no extension: found in any list
        {L"Frozen", L"txt", true, 0},
        {L"a.b\\file", L"txt", false, 1},  // the folder's dot does not count
        {L"a.b\\file.pdf", L"txt", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.file << " in " << c.types);
        const std::wstring doc = Document(c.file);
        Store(doc, DOCPROP_TITLE, L"Title");
        if (c.readOnly) SetReadOnly(doc, true);
        SetEditableTypes(c.types);
        CategoriesSheet sheet({doc});
        ASSERT_TRUE(sheet.ok());
        EXPECT_EQ(c.editing, sheet.EditingEnabled());
        EXPECT_EQ(L"Title", sheet.Text(kTitle));
    }
}

TEST_F(CategoriesPage, ApplyOnAnUneditableTypeWritesTheTextsBackUnchanged) {
    const std::wstring doc = Document(L"Scan.pdf");
    Store(doc, DOCPROP_TITLE, L"Scan");
    Store(doc, DOCPROP_COMMENTS, L"Page one");
    SetEditableTypes(L"doc;txt");
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    ASSERT_EQ(0, sheet.EditingEnabled());

    ClearJournal();
    sheet.sheet().Apply();
    EXPECT_EQ(6u, Journal().size());
    EXPECT_EQ(L"Scan", Stored(doc, DOCPROP_TITLE));
    EXPECT_EQ(L"", Stored(doc, DOCPROP_SUBJECT));
    EXPECT_EQ(L"Page one", Stored(doc, DOCPROP_COMMENTS));
}

TEST_F(CategoriesPage, SeveralFilesSelectedConcernTheFirstOnly) {
    const std::wstring first = Document(L"First.doc");
    const std::wstring second = Document(L"Second.doc");
    Store(first, DOCPROP_TITLE, L"First title");
    Store(first, DOCPROP_CATEGORIES, L"Work");
    Store(second, DOCPROP_TITLE, L"Second title");
    Store(second, DOCPROP_CATEGORIES, L"Home");
    CategoriesSheet sheet({first, second});
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(L"First title", sheet.Text(kTitle));
    EXPECT_EQ((Names{L"Work"}), ListItems(sheet.AssignedList()));

    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Alpha"}));
    sheet.Add();
    zrvtest::Type(sheet.page(), kTitle, L"Both?");
    sheet.sheet().Apply();
    EXPECT_EQ(L"Work; Alpha", Stored(first, DOCPROP_CATEGORIES));
    EXPECT_EQ(L"Both?", Stored(first, DOCPROP_TITLE));
    EXPECT_EQ(L"Home", Stored(second, DOCPROP_CATEGORIES));
    EXPECT_EQ(L"Second title", Stored(second, DOCPROP_TITLE));
    const Lines journal = Journal();
    EXPECT_EQ(9u, journal.size());
    for (const std::wstring& line : journal) {
        EXPECT_NE(std::wstring::npos, line.find(L"First.doc")) << line;
    }
}

// The page's own texts come from the localizer before anything else. The
// module's code runs in this program here, so translations are looked up
// under the program's name. A thread gets its localizer once: the one that
// reads this catalog is asked for on a new thread.
TEST_F(CategoriesPage, ShowsItsTextsInTheUsersLanguage) {
    const std::wstring doc = Document(L"Brief.doc");
    Store(doc, DOCPROP_TITLE, L"Angebot");
    wchar_t program[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring stem = ::PathFindFileNameW(program);
    stem.resize(stem.rfind(L'.'));
    std::string catalog;
    auto translate = [&](int control, const wchar_t* text) {
        const std::wstring line = stem + L"|dialog|" + std::to_wstring(IDD_CATEGORIES_PAGE) + L"|" +
                                  std::to_wstring(control) + L"=" + text + L"\r\n";
        catalog.append(line.begin(), line.end());
    };
    translate(kTitleLabel, L"&Titel:");
    translate(kNotice, L"Sofort wirksam.");
    ScopedEnvironment extra(L"ZRV_CATALOG_EXTRA",
                            m_folder->File(L"extra.catalog", catalog).c_str());

    std::wstring label, notice, title;
    std::thread([&] {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            CategoriesSheet sheet({doc});
            label = sheet.Text(kTitleLabel);
            notice = sheet.Text(kNotice);
            title = sheet.Text(kTitle);
        }
        ::CoUninitialize();
    }).join();
    EXPECT_EQ(L"&Titel:", label);
    EXPECT_EQ(L"Sofort wirksam.", notice);
    EXPECT_EQ(L"Angebot", title) << "data is not translated";
}

}  // namespace
}  // namespace zrvcattest
