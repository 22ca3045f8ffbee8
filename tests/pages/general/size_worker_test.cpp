// The Size field: the figures the worker shows for files and folder trees,
// in the user's language, and a page that closes while its worker walks.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "common/cstring_maker.h"
#include "common/import_hook.h"
#include "common/scoped_environment.h"
#include "common/test_paths.h"
#include "localization/localizer.h"
#include "module/ids.h"
#include "pages/general/file_tree.h"
#include "pages/general/general_fixture.h"
#include "pages/general/size_display.h"
#include "pages/general/summary_page.h"
#include "pages/general/size_worker.h"
#include "pages/prop_page.h"
#include "resources/resource.h"
#include "support/handles.h"

namespace zrvtest {
namespace {

// The figure after each entry of a walk of path, listed here again by the
// worker's rules, in the order the file system lists the entries.
ULONGLONG ListFigures(const std::wstring& path, bool listFolder,
                      std::vector<std::wstring>& figures) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((listFolder ? path + L"\\*.*" : path).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    ULONGLONG total = 0;
    do {
        const std::wstring name = entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..") {
                total += ListFigures(listFolder ? path + L"\\" + name : path, true, figures);
            }
        } else {
            total += (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) + entry.nFileSizeLow;
        }
        figures.push_back(total >= 1024 ? std::to_wstring(total / 1024) + L" KB"
                                        : std::to_wstring(total) + L" bytes");
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return total;
}

class SizeField : public ::testing::Test {
  protected:
    void SetUp() override { EnsureLocalizerMap(); }

    // The figures the page showed for path, through to the worker's end.
    std::vector<std::wstring> FiguresOf(const std::wstring& path) {
        SizeFigureLog log;
        GeneralSheet sheet(path);
        EXPECT_TRUE(sheet.ok());
        EXPECT_TRUE(sheet.WaitForWorker());
        return log.figures();
    }
};

TEST_F(SizeField, FileSizesInBytesAndWholeKilobytes) {
    ScratchFolder folder(L"size-files");
    const struct {
        ULONGLONG size;
        const wchar_t* figure;
    } cases[] = {{0, L"0 bytes"}, {1023, L"1023 bytes"}, {1024, L"1 KB"}, {1535, L"1 KB"}};
    for (const auto& c : cases) {
        const std::wstring file = folder.path() + L"\\f" + std::to_wstring(c.size) + L".bin";
        ASSERT_TRUE(MakeFileOfSize(file, c.size));
        // A file is looked up once: exactly one figure.
        EXPECT_EQ(std::vector<std::wstring>{c.figure}, FiguresOf(file)) << c.size << " bytes";
    }

    // Sizes above 4 GiB count in full.
    const std::wstring large = folder.path() + L"\\large.bin";
    if (!MakeFileOfSize(large, 5ull << 30)) GTEST_SKIP() << "no room for a 5 GiB (sparse) file";
    EXPECT_EQ(std::vector<std::wstring>{L"5242880 KB"}, FiguresOf(large));
    ::DeleteFileW(large.c_str());
}

TEST_F(SizeField, OnlyWmAppShowsTheFigure) {
    ScratchFolder folder(L"size-messages");
    const std::wstring file = folder.File(L"seven.txt", "1234567");
    GeneralSheet sheet(file);
    ASSERT_TRUE(sheet.ok());
    ASSERT_TRUE(sheet.WaitForWorker());
    ASSERT_EQ(L"7 bytes", sheet.Text(IDC_GENERAL_SIZE));
    ::SetWindowTextW(sheet.Control(0, IDC_GENERAL_SIZE), L"marker");
    ::SendMessageW(sheet.page(), WM_APP + 1, 0, 0);
    ::SendMessageW(sheet.page(), WM_APP + 2, 0, 0);
    EXPECT_EQ(L"marker", sheet.Text(IDC_GENERAL_SIZE));
    ::SendMessageW(sheet.page(), WM_APP, 0, 0);
    EXPECT_EQ(L"7 bytes", sheet.Text(IDC_GENERAL_SIZE)) << "WM_APP shows the last figure";
}

// A shortcut to a folder selects the folder: its whole tree is added up, one
// figure per entry, and the figure drops while a subfolder is listed.
TEST_F(SizeField, FolderThroughShortcutTotalsItsTree) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-tree");
    folder.File(L"a.txt", std::string(600, 'a'));
    folder.File(L"b.txt", std::string(600, 'b'));
    folder.Folder(L"empty");
    const std::wstring link = ShortcutTo(links, L"tree", folder.path());
    ASSERT_FALSE(link.empty());

    SizeFigureLog log;
    GeneralSheet sheet(link);
    ASSERT_TRUE(sheet.ok());
    ASSERT_TRUE(sheet.WaitForWorker());
    // The folder item itself, and in its listing ".", "..", the two files
    // and the subfolder, inside which "." and "..".
    EXPECT_EQ(8u, log.updates());
    const std::vector<std::wstring> figures = log.figures();
    ASSERT_FALSE(figures.empty());
    EXPECT_EQ(L"0 bytes", figures.front());
    EXPECT_EQ(L"1 KB", figures.back());
}

// Figures are in the order of the walk's figures without repeats: whether
// `shown` is a subsequence of `distinct`.
bool InWalkOrder(const std::vector<std::wstring>& shown,
                 const std::vector<std::wstring>& distinct) {
    auto next = distinct.begin();
    for (const std::wstring& figure : shown) {
        next = std::find(next, distinct.end(), figure);
        if (next == distinct.end()) return false;
        ++next;
    }
    return true;
}

// Entries that leave the figure as it was ("." and "..", folders, files too
// small to change the kilobytes) each send their update, but the field is
// given only figures it does not show yet, at most one a frame: figures of
// the walk in its order, none twice in a row, from its first to the exact
// total.
TEST_F(SizeField, RepeatedFiguresAreNotSetAgain) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-repeats");
    folder.File(L"a.txt", std::string(600, 'a'));
    folder.File(L"b.txt", std::string(600, 'b'));
    folder.File(L"c.txt", std::string(100, 'c'));
    const std::wstring sub = folder.Folder(L"sub");
    ASSERT_TRUE(WriteFileBytes(sub + L"\\x.txt", std::string(2000, 'x')));
    ASSERT_TRUE(::CreateDirectoryW((sub + L"\\empty").c_str(), nullptr));
    const std::wstring link = ShortcutTo(links, L"repeats", folder.path());
    ASSERT_FALSE(link.empty());

    std::vector<std::wstring> every;
    ListFigures(folder.path(), false, every);
    std::vector<std::wstring> distinct;
    std::unique_copy(every.begin(), every.end(), std::back_inserter(distinct));
    ASSERT_LT(distinct.size(), every.size());

    SizeFigureLog log;
    GeneralSheet sheet(link);
    ASSERT_TRUE(sheet.ok());
    ASSERT_TRUE(sheet.WaitForWorker());
    EXPECT_EQ(every.size(), log.updates()) << "one update per entry";
    const std::vector<std::wstring> shown = log.figures();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(distinct.front(), shown.front()) << "the first figure is shown at once";
    EXPECT_EQ(distinct.back(), shown.back());
    EXPECT_TRUE(InWalkOrder(shown, distinct)) << shown.size() << " figures shown";
    EXPECT_EQ(L"3 KB", sheet.Text(IDC_GENERAL_SIZE)) << "600 + 600 + 100 + 2000 bytes";
}

// A long walk sends thousands of updates a second, most of them with a
// figure the field does not show yet; the field takes one at most once a
// frame, so that the user sees a few of them, in the walk's order, and the
// exact total at its end. Fewer than half are shown as long as the walk
// spends less than half a frame a figure; under Wine on a busy machine it
// spends about a sixteenth.
TEST_F(SizeField, LongWalkShowsFewOfItsFigures) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-frames");
    zrv::scope_exit clear([&] { ClearFileTree(folder.path()); });
    FileTree tree;
    ASSERT_TRUE(BuildFileTree(folder.path(), 2000, tree));
    const std::wstring link = ShortcutTo(links, L"frames", folder.path());
    ASSERT_FALSE(link.empty());
    std::vector<std::wstring> every;
    ListFigures(folder.path(), false, every);
    std::vector<std::wstring> distinct;
    std::unique_copy(every.begin(), every.end(), std::back_inserter(distinct));

    SizeFigureLog log;
    GeneralSheet sheet(link);
    ASSERT_TRUE(sheet.ok());
    ASSERT_TRUE(sheet.WaitForWorker(120000));
    EXPECT_EQ(every.size(), log.updates()) << "one update per entry";
    const std::vector<std::wstring> shown = log.figures();
    ASSERT_GE(shown.size(), 3u) << "a walk of several frames";
    EXPECT_EQ(every.back(), shown.back());
    EXPECT_TRUE(InWalkOrder(shown, distinct));
    EXPECT_LT(shown.size(), distinct.size() / 2)
        << shown.size() << " of the walk's " << distinct.size() << " figures shown";
}

// A Size field with its display, and a window that hands the display's
// frame timer to it, as the General page's window does.
struct DisplayedField {
    static constexpr UINT_PTR kTimer = 7;
    static LRESULT CALLBACK TimerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* shown = reinterpret_cast<DisplayedField*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_TIMER && wParam == kTimer && shown) shown->display.EndFrame();
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    DisplayedField() {
        WNDCLASSW type = {};
        type.lpfnWndProc = &TimerProc;
        type.hInstance = ::GetModuleHandleW(nullptr);
        type.lpszClassName = L"ZrvSizeFrameTimer";
        ::RegisterClassW(&type);
        field.reset(::CreateWindowW(L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                    type.hInstance, nullptr));
        page.reset(::CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   type.hInstance, nullptr));
        ::SetWindowLongPtrW(page.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        display.Attach(field.get(), page.get(), kTimer);
    }
    ~DisplayedField() { display.Detach(); }
    bool ok() const { return field && page; }

    zrv::unique_hwnd field;
    zrv::unique_hwnd page;
    SizeDisplay display;
};

// A figure that comes within a frame of the last one shown waits for the
// frame to end, also when no other figure follows; the walk's last figure
// never waits, and a detached field shows nothing more.
TEST_F(SizeField, FigureWithinAFrameWaitsForItsEnd) {
    DisplayedField shown;
    ASSERT_TRUE(shown.ok());
    const zrv::unique_hwnd& field = shown.field;
    SizeDisplay& display = shown.display;
    DWORD start = ::GetTickCount();
    display.Take(MakeCString(L"1 KB"), false);
    EXPECT_EQ(L"1 KB", WindowText(field.get())) << "the first figure is shown at once";
    display.Take(MakeCString(L"2 KB"), false);
    if (::GetTickCount() - start < SizeDisplay::kFrameMs) {
        EXPECT_EQ(L"1 KB", WindowText(field.get()));
    }
    while (WindowText(field.get()) != L"2 KB" && ::GetTickCount() - start < 2000) {
        PumpFor(nullptr, 1);
    }
    EXPECT_EQ(L"2 KB", WindowText(field.get()));
    EXPECT_GE(::GetTickCount() - start, SizeDisplay::kFrameMs);

    display.Take(MakeCString(L"3 KB"), false);
    display.Take(MakeCString(L"4 KB"), true);
    EXPECT_EQ(L"4 KB", WindowText(field.get()));
    start = ::GetTickCount();
    display.Take(MakeCString(L"5 KB"), false);
    const bool waited = ::GetTickCount() - start < SizeDisplay::kFrameMs;
    display.Detach();
    PumpFor(nullptr, 3 * SizeDisplay::kFrameMs);
    if (waited) {
        EXPECT_EQ(L"4 KB", WindowText(field.get()));
    }
}

// A frame's WM_TIMER that a host took from the queue before the frame ended
// early (the walk's last figure) and dispatches after: it ends nothing, and
// leaves no timer behind, also while another page's frame is under way.
TEST_F(SizeField, FrameEndTakenBeforeTheLastFigureEndsNothing) {
    DisplayedField shown;
    DisplayedField other;
    ASSERT_TRUE(shown.ok() && other.ok());
    const zrv::unique_hwnd& field = shown.field;
    SizeDisplay& display = shown.display;
    SizeDisplay& otherDisplay = other.display;
    display.Take(MakeCString(L"1 KB"), false);
    display.Take(MakeCString(L"2 KB"), false);
    MSG frameEnd = {};
    const DWORD start = ::GetTickCount();
    while (!::PeekMessageW(&frameEnd, shown.page.get(), WM_TIMER, WM_TIMER, PM_REMOVE) &&
           ::GetTickCount() - start < 2000) {
        ::Sleep(1);
    }
    ASSERT_EQ(static_cast<UINT>(WM_TIMER), frameEnd.message);
    otherDisplay.Take(MakeCString(L"1 KB"), false);
    otherDisplay.Take(MakeCString(L"2 KB"), false);
    display.Take(MakeCString(L"3 KB"), true);
    ::DispatchMessageW(&frameEnd);
    EXPECT_EQ(L"3 KB", WindowText(field.get()));
    ::Sleep(4 * SizeDisplay::kFrameMs);
    MSG late;
    EXPECT_FALSE(::PeekMessageW(&late, shown.page.get(), WM_TIMER, WM_TIMER, PM_NOREMOVE))
        << "a timer runs on for a finished field";
}

// Every folder is walked whatever its other attribute bits; links to folders
// (reparse points) are not: one to a sibling would count it twice, one to an
// ancestor would go round for ever.
TEST_F(SizeField, FoldersAreEnteredWhateverTheirAttributesButLinksAreNot) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-attrs");
    folder.File(L"counted.txt", std::string(600, 'c'));
    const std::wstring plain = folder.Folder(L"plain");
    WriteFileBytes(plain + L"\\inside.txt", std::string(2000, 'p'));
    const std::wstring hidden = folder.Folder(L"hidden");
    WriteFileBytes(hidden + L"\\counted.txt", std::string(5000, 'h'));
    const std::wstring readOnly = folder.Folder(L"readonly");
    WriteFileBytes(readOnly + L"\\counted.txt", std::string(5000, 'r'));
    const std::wstring twin = folder.path() + L"\\twin";
    const std::wstring loop = plain + L"\\loop";
    struct Restore {
        std::wstring readOnly, twin, loop;
        ~Restore() {
            MakeFolderWritable(readOnly);
            RemoveFolderLink(twin);
            RemoveFolderLink(loop);
        }
    } restore{readOnly, twin, loop};
    const bool hiddenKept =
        SetAttributesKept(hidden, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    const bool readOnlyKept = MakeFolderReadOnly(readOnly);
    const bool linked = MakeFolderLink(twin, plain) && MakeFolderLink(loop, folder.path());
    if (!hiddenKept && !readOnlyKept && !linked) {
        GTEST_SKIP() << "neither folder attributes nor folder links can be made here";
    }

    const std::wstring link = ShortcutTo(links, L"attrs", folder.path());
    ASSERT_FALSE(link.empty());
    const std::vector<std::wstring> figures = FiguresOf(link);
    ASSERT_FALSE(figures.empty());
    // 600 + 2000 + 5000 + 5000 bytes; through the twin it would be 14 KB.
    EXPECT_EQ(L"12 KB", figures.back())
        << "hidden: " << hiddenKept << ", read-only: " << readOnlyKept << ", links: " << linked;

    // A selected folder that is itself read-only (or hidden) is walked too.
    if (!hiddenKept && !readOnlyKept) return;
    const std::wstring top = readOnlyKept ? readOnly : hidden;
    const std::wstring topLink = ShortcutTo(links, L"top", top);
    ASSERT_FALSE(topLink.empty());
    const std::vector<std::wstring> topFigures = FiguresOf(topLink);
    ASSERT_FALSE(topFigures.empty());
    EXPECT_EQ(L"4 KB", topFigures.back()) << "attributes " << std::hex << Attributes(top);
}

// Each level builds its child's path from its own: a tree as deep as a plain
// path reaches, at least 100 levels, adds up to the byte.
TEST_F(SizeField, DeepestTreeIsTotalled) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"deep");
    zrv::scope_exit clear([&] { ClearFileTree(folder.path()); });
    const std::wstring fileName = L"\\f.bin";
    std::wstring deepest = folder.path();
    int levels = 0;
    while (levels < 100 || deepest.size() + 2 + fileName.size() < MAX_PATH) {
        deepest += L"\\d";
        ASSERT_TRUE(::CreateDirectoryW(deepest.c_str(), nullptr))
            << deepest.size() << " characters";
        ++levels;
    }
    ASSERT_TRUE(MakeFileOfSize(deepest + fileName, 5000));
    const std::wstring link = ShortcutTo(links, L"deep", folder.path());
    ASSERT_FALSE(link.empty());

    const std::vector<std::wstring> figures = FiguresOf(link);
    ASSERT_FALSE(figures.empty());
    EXPECT_EQ(L"4 KB", figures.back()) << levels << " levels";
}

// Names the host allows but plain paths rewrite: trailing dots and spaces,
// which a plain path drops, so "t." would be listed as its sibling "t".
TEST_F(SizeField, FoldersWithTrailingDotsAndSpacesAreListedThemselves) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-names");
    folder.Folder(L"t");
    if (!MakeFileOnHost(folder.path(), L"\\t.", 3000) ||
        !MakeFileOnHost(folder.path(), L"\\t ", 5000) ||
        !MakeFileOnHost(folder.path(), L"\\\U0001F600.", 7000)) {
        GTEST_SKIP() << "the host cannot make these names here";
    }
    zrv::scope_exit clear([&] { ClearFileTree(L"\\\\?\\" + folder.path()); });
    const std::wstring link = ShortcutTo(links, L"names", folder.path());
    ASSERT_FALSE(link.empty());

    const std::vector<std::wstring> figures = FiguresOf(link);
    ASSERT_FALSE(figures.empty());
    EXPECT_EQ(L"14 KB", figures.back()) << "3000 + 5000 + 7000 bytes";
}

// Wine looks up every level of a deep path again on each call, so a deep
// walk takes long, and longer under load: the wait only guards against a
// hang.
constexpr DWORD kDeepWalkGuardMs = 600000;

// A chain of folders deeper than the worker's stack (1 MB, the least Wine
// gives a thread) could hold a walk that kept one frame of about 770 bytes
// per level (1,360 levels), and deeper than a plain path reaches (Wine does
// not stop plain paths at MAX_PATH), neither exhausts the worker's stack nor
// changes the figures: each level reports its own running total, "." and
// ".." at 0 bytes on the way down, then the file's size at every level back
// up; the field shows each of the two once.
TEST_F(SizeField, SlowHostileDepthIsWalkedWithoutCrashing) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"chain");
    zrv::scope_exit clear([&] { RemoveFolderChain(folder.path()); });
    const int levels = 1700;
    const std::wstring deepest = MakeFolderChain(folder.path(), levels, 5000);
    if (deepest.empty()) GTEST_SKIP() << "the host cannot make the chain here";
    const std::wstring link = ShortcutTo(links, L"chain", folder.path());
    ASSERT_FALSE(link.empty());

    SizeFigureLog log;
    GeneralSheet sheet(link);
    ASSERT_TRUE(sheet.ok());
    ASSERT_TRUE(sheet.WaitForWorker(kDeepWalkGuardMs));
    EXPECT_EQ(static_cast<size_t>(2 * (levels + 1) + levels + 2), log.updates());
    EXPECT_EQ((std::vector<std::wstring>{L"0 bytes", L"4 KB"}), log.figures());
}

// A folder that is there but cannot be listed, here because its path is
// longer than the host can follow, may hold anything: the walk shows no
// figure rather than a total that leaves it out. Long names take the path
// there within a few levels.
TEST_F(SizeField, FolderBeyondReachLeavesNoFigure) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"chain");
    const std::wstring name(200, L'd');
    zrv::scope_exit clear([&] { RemoveFolderChain(folder.path(), name); });
    const int levels = 24;
    if (!MakeFolderChainOnly(folder.path(), levels, name)) GTEST_SKIP() << "no chain made here";
    folder.File(L"top.bin", std::string(5000, 't'));
    std::wstring deepest = L"\\\\?\\" + folder.path();
    for (int i = 0; i < levels; ++i) deepest += L"\\" + name;
    if (Attributes(deepest) != INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "this platform reaches every level of the chain";
    }
    const std::wstring link = ShortcutTo(links, L"beyond", folder.path());
    ASSERT_FALSE(link.empty());

    SizeFigureLog log;
    GeneralSheet sheet(link);
    ASSERT_TRUE(sheet.ok());
    ASSERT_TRUE(sheet.WaitForWorker(kDeepWalkGuardMs));
    EXPECT_EQ(L"", sheet.Text(IDC_GENERAL_SIZE)) << log.figures().size() << " figures";
}

// A walk that fails before its end empties the field instead of leaving a
// running figure there as if it were the total. A folder that is there but
// cannot be listed, below names long enough to take its path past what the
// host can follow, fails the walk after the figures of the levels above it.
TEST_F(SizeField, FailedWalkLeavesNoFigure) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-failed");
    const std::wstring name(200, L'n');
    zrv::scope_exit clear([&] { RemoveFolderChain(folder.path(), name); });
    folder.File(L"a.txt", std::string(600, 'a'));
    folder.File(L"b.txt", std::string(600, 'b'));
    const int levels = 24;
    if (!MakeFolderChainOnly(folder.path(), levels, name)) GTEST_SKIP() << "no chain made here";
    std::wstring deepest = L"\\\\?\\" + folder.path();
    for (int i = 0; i < levels; ++i) deepest += L"\\" + name;
    if (Attributes(deepest) != INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "this platform reaches every level of the chain";
    }
    const std::wstring link = ShortcutTo(links, L"failed", folder.path());
    ASSERT_FALSE(link.empty());

    SizeFigureLog log;
    GeneralSheet sheet(link);
    ASSERT_TRUE(sheet.ok());
    ASSERT_TRUE(sheet.WaitForWorker());

    const std::vector<std::wstring> figures = log.figures();
    ASSERT_GE(figures.size(), 2u);
    EXPECT_NE(L"", figures[figures.size() - 2]) << "the walk was under way";
    EXPECT_EQ(L"", figures.back());
    EXPECT_EQ(L"", sheet.Text(IDC_GENERAL_SIZE));
}

// A window that turns every subfolder of a root into a file of 7 bytes at
// the first figure it is shown, as another program might while a walk runs.
struct Replacer {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_APP && s_root && ++s_figures == 1) {
            for (const wchar_t* name : {L"s1", L"s2", L"s3", L"s4"}) {
                const std::wstring sub = *s_root + L"\\" + name;
                ::DeleteFileW((sub + L"\\f.bin").c_str());
                ::RemoveDirectoryW(sub.c_str());
                std::ofstream(sub.c_str(), std::ios::binary) << "1234567";
            }
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    static inline const std::wstring* s_root = nullptr;
    static inline int s_figures = 0;
};

// Folders that become files while their parent is listed are gone for the
// walk: they add nothing, and the walk still ends with its total.
TEST_F(SizeField, FolderBecomingAFileMidWalkAddsNothing) {
    ScratchFolder folder(L"size-vanish");
    folder.File(L"top.bin", std::string(100, 't'));
    for (const wchar_t* name : {L"s1", L"s2", L"s3", L"s4"}) {
        folder.Folder(name);
        folder.File(std::wstring(name) + L"\\f.bin", std::string(50, 'f'));
    }
    WNDCLASSW type = {};
    type.lpfnWndProc = &Replacer::Proc;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = L"ZrvSizeReplacer";
    ::RegisterClassW(&type);
    zrv::unique_hwnd target(::CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                            nullptr, type.hInstance, nullptr));
    ASSERT_TRUE(target);
    Replacer::s_root = &folder.path();
    Replacer::s_figures = 0;
    zrv::com_ptr<SizeJob> job = SizeJob::Create(MakeCString(folder.path()), target.get());
    ASSERT_TRUE(job);
    SizeWalk walk(*job.get(), nullptr);
    const ULONGLONG total = walk.TotalSize(MakeCString(folder.path()), false);
    Replacer::s_root = nullptr;
    ASSERT_GT(Replacer::s_figures, 1);
    EXPECT_FALSE(walk.Stopped()) << "the walk failed";
    EXPECT_NE(L"", std::wstring(job->LatestText().GetString()));
    EXPECT_GE(total, 100u);
}

// Many sheets opened and closed at once while their workers walk: every
// thread, handle, window object and page they used is given back.
TEST_F(SizeField, SheetsOpenedAndClosedGiveEverythingBack) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-churn");
    for (int i = 0; i < 40; ++i) folder.File(L"f" + std::to_wstring(i) + L".txt", "abc");
    folder.Folder(L"sub");
    folder.File(L"sub\\g.txt", std::string(2000, 'g'));
    const std::wstring link = ShortcutTo(links, L"churn", folder.path());
    ASSERT_FALSE(link.empty());
    // The first sheet loads what stays loaded.
    {
        GeneralSheet warm(link);
        ASSERT_TRUE(warm.WaitForWorker());
    }

    HANDLE process = ::GetCurrentProcess();
    DWORD handlesBefore = 0;
    ::GetProcessHandleCount(process, &handlesBefore);
    const DWORD gdiBefore = ::GetGuiResources(process, GR_GDIOBJECTS);
    const DWORD userBefore = ::GetGuiResources(process, GR_USEROBJECTS);
    const LONG pagesBefore = CZRVPropPage::LiveObjectCount();
    const size_t threadsBefore = RunningThreads().size();
    for (int i = 0; i < 200; ++i) {
        zrv::unique_hwnd sheet(CreateGeneralSheet(link));
        ASSERT_TRUE(sheet);
        PumpFor(sheet.get(), i % 3);
    }
    PumpFor(nullptr, 50);
    const DWORD start = ::GetTickCount();
    while (LiveSizeWorkers() != 0 && ::GetTickCount() - start < 10000) ::Sleep(5);
    EXPECT_EQ(0, LiveSizeWorkers());
    EXPECT_EQ(pagesBefore, CZRVPropPage::LiveObjectCount());
    EXPECT_LE(RunningThreads().size(), threadsBefore);
    DWORD handlesAfter = 0;
    ::GetProcessHandleCount(process, &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 10);
    EXPECT_LE(::GetGuiResources(process, GR_GDIOBJECTS), gdiBefore + 10);
    EXPECT_LE(::GetGuiResources(process, GR_USEROBJECTS), userBefore + 10);
}

// The worker runs in its own apartment, where the product's localizer serves
// it: the texts come from the real module's German catalog. A translation
// that would format anything but one 64-bit number is not used.
class SizeFieldTranslated : public SizeField {
  protected:
    static HRESULT CreateRegistered(IUnknown*, REFIID iid, void** object) {
        return ::CoCreateInstance(CLSID_ZRVPropPage_Summary, nullptr, CLSCTX_INPROC_SERVER, iid,
                                  object);
    }

    // The figure that the registered module's page settles on for path.
    std::wstring RegisteredModuleFigure(const std::wstring& path) {
        PageSheet sheet({&CreateRegistered}, {path});
        if (!sheet.ok()) return L"(no page)";
        const DWORD start = ::GetTickCount();
        std::wstring figure;
        while (figure.empty() && ::GetTickCount() - start < 10000) {
            sheet.Pump(5);
            figure = WindowText(sheet.Control(0, IDC_GENERAL_SIZE));
        }
        return figure;
    }

    void SetUp() override {
        SizeField::SetUp();
        zrv::com_ptr<IShellExtInit> probe;
        if (FAILED(CreateRegistered(nullptr, IID_IShellExtInit, probe.put_void()))) {
            GTEST_SKIP() << "ZRVPropHelper.dll is not registered in this prefix";
        }
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", nullptr);
        ::SetEnvironmentVariableW(L"ZRV_CATALOG_EXTRA", nullptr);
    }
};

TEST_F(SizeFieldTranslated, GermanTextsOnTheWorkersThread) {
    ScratchFolder folder(L"size-german");
    const std::wstring small = folder.File(L"small.txt", std::string(100, 's'));
    const std::wstring two = folder.File(L"two.txt", std::string(2048, 't'));

    ::SetEnvironmentVariableW(L"ZRV_LANGUAGE", L"de");
    EXPECT_EQ(L"100 Bytes", RegisteredModuleFigure(small));
    EXPECT_EQ(L"2 KB", RegisteredModuleFigure(two));

    // Translations of 1037 and 1036: a modest field is the translator's
    // choice, but one that reads an argument that is not there, or pads each
    // figure to megabytes, gives way to the module's own text.
    const struct {
        const char* bytes;
        const char* kilobytes;
        const wchar_t* smallFigure;
        const wchar_t* twoFigure;
    } catalogs[] = {
        {"%s Bytes", "%I64u von %I64u KB", L"100 bytes", L"2 KB"},
        {"%99999999I64u Bytes", "%.99999999I64u KB", L"100 bytes", L"2 KB"},
        {"%-5I64u Bytes", "%.3I64u KB", L"100   Bytes", L"002 KB"},
    };
    const std::wstring catalog = folder.path() + L"\\translated.catalog";
    ::SetEnvironmentVariableW(L"ZRV_CATALOG_EXTRA", catalog.c_str());
    for (const auto& c : catalogs) {
        {
            std::ofstream out(catalog.c_str(), std::ios::binary | std::ios::trunc);
            out << "ZRVPropHelper|string|1037=" << c.bytes << "\r\n"
                << "ZRVPropHelper|string|1036=" << c.kilobytes << "\r\n";
        }
        EXPECT_EQ(c.smallFigure, RegisteredModuleFigure(small)) << c.bytes;
        EXPECT_EQ(c.twoFigure, RegisteredModuleFigure(two)) << c.kilobytes;
    }
}

// Closing the sheet while the worker is deep in a large tree, blocked in its
// send to the closing page most of the time: no crash, no hang, and the
// worker thread is gone once the page is. The rest of the tree would take a
// walker that went on without sending well over the 100 ms allowed.
TEST_F(SizeField, PageClosedInTheMiddleOfALongWalk) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-large");
    zrv::scope_exit clear([&] { RemoveFolderChain(folder.path(), L"tree"); });
    FileTree tree;
    if (!BuildEmptyFileTreeOnHost(folder.path() + L"\\tree", 100000, tree))
        GTEST_SKIP() << "the host cannot make the tree here";
    ASSERT_GE(tree.entries(), 100000u);
    const std::wstring link = ShortcutTo(links, L"large", folder.path() + L"\\tree");
    ASSERT_FALSE(link.empty());

    const LONG pagesBefore = CZRVPropPage::LiveObjectCount();
    const std::vector<DWORD> threadsBefore = RunningThreads();
    SizeFigureLog log;
    zrv::unique_hwnd sheet(CreateGeneralSheet(link));
    ASSERT_TRUE(sheet);
    const DWORD start = ::GetTickCount();
    while (log.updates() < 200 && ::GetTickCount() - start < 20000) {
        PumpFor(sheet.get(), 1);
    }
    ASSERT_GE(log.updates(), 200u);
    ASSERT_EQ(1, LiveSizeWorkers());

    std::vector<DWORD> started;
    for (DWORD id : RunningThreads()) {
        if (!std::binary_search(threadsBefore.begin(), threadsBefore.end(), id)) {
            started.push_back(id);
        }
    }
    EXPECT_FALSE(started.empty()) << "the worker runs on a thread of its own";

    const DWORD closing = ::GetTickCount();
    sheet.reset();
    const DWORD closed = ::GetTickCount();
    EXPECT_LT(closed - closing, 1000u) << "closing waited for the walk";

    const size_t updatesAtClose = log.updates();
    const size_t figuresAtClose = log.figures().size();
    EXPECT_LT(updatesAtClose, tree.entries()) << "the walk was still going";
    bool threadsGone = false;
    while (!threadsGone && ::GetTickCount() - closed <= 100) {
        threadsGone =
            LiveSizeWorkers() == 0 && std::none_of(started.begin(), started.end(), IsThreadRunning);
        if (!threadsGone) ::Sleep(1);
    }
    EXPECT_TRUE(threadsGone) << "the worker still runs 100 ms after the page closed";
    EXPECT_EQ(pagesBefore, CZRVPropPage::LiveObjectCount()) << "the page object was freed";

    PumpFor(nullptr, 200);
    EXPECT_EQ(updatesAtClose, log.updates()) << "no update after the page closed";
    EXPECT_EQ(figuresAtClose, log.figures().size()) << "no figure after the page closed";
}

// The folder listings made after the host killed the page's thread.
volatile LONG g_listingSteps = 0;
BOOL(WINAPI* g_realFindNext)(HANDLE, WIN32_FIND_DATAW*) = nullptr;
BOOL WINAPI CountedFindNext(HANDLE search, WIN32_FIND_DATAW* entry) {
    ::InterlockedIncrement(&g_listingSteps);
    return g_realFindNext(search, entry);
}

struct WalkingDialog {
    std::wstring link;
    HANDLE walking;
};

// A dialog thread that shows the page, lets its worker walk for a while and
// then stops answering, as a thread does just before its host kills it.
DWORD WINAPI ShowPageThenHang(void* argument) {
    auto* dialog = static_cast<WalkingDialog*>(argument);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND sheet = CreateGeneralSheet(dialog->link);
    const DWORD start = ::GetTickCount();
    while (sheet && g_listingSteps < 50 && ::GetTickCount() - start < 20000) PumpFor(sheet, 1);
    ::SetEvent(dialog->walking);
    ::Sleep(INFINITE);
    return 0;
}

// A host that kills a dialog thread while its General page's worker walks:
// the page never closes, and the worker must end rather than walk the tree
// to its end for nobody.
TEST_F(SizeField, PageThreadKilledInTheMiddleOfAWalk) {
    ScratchFolder links(L"size-killed-links");
    ScratchFolder folder(L"size-killed");
    zrv::scope_exit clear([&] { ClearFileTree(folder.path()); });
    FileTree tree;
    ASSERT_TRUE(BuildFileTree(folder.path(), 5000, tree, false));
    WalkingDialog dialog{ShortcutTo(links, L"killed", folder.path()), nullptr};
    ASSERT_FALSE(dialog.link.empty());
    ImportHook hook(L"kernel32.dll", "FindNextFileW", reinterpret_cast<void*>(&CountedFindNext));
    ASSERT_TRUE(hook.ok());
    g_realFindNext = hook.real<BOOL(WINAPI*)(HANDLE, WIN32_FIND_DATAW*)>();
    g_listingSteps = 0;
    const LONG workersBefore = LiveSizeWorkers();

    zrv::unique_handle walking(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    dialog.walking = walking.get();
    zrv::unique_handle thread(::CreateThread(nullptr, 0, &ShowPageThenHang, &dialog, 0, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(walking.get(), 30000));
    ASSERT_GE(g_listingSteps, 50) << "the worker walked";
    ::TerminateThread(thread.get(), 1);
    ::WaitForSingleObject(thread.get(), INFINITE);
    const LONG stepsAtKill = g_listingSteps;

    const DWORD killed = ::GetTickCount();
    while (LiveSizeWorkers() > workersBefore && ::GetTickCount() - killed < 60000) ::Sleep(10);
    EXPECT_EQ(workersBefore, LiveSizeWorkers()) << "the worker still runs";
    EXPECT_LE(g_listingSteps - stepsAtKill, 2) << "the worker walked on for nobody";
}

// Fails listing step number g_failAt of a walk with g_failError.
int g_listingCalls = 0;
int g_failAt = 0;
DWORD g_failError = 0;
BOOL WINAPI FailingFindNext(HANDLE search, WIN32_FIND_DATAW* entry) {
    if (++g_listingCalls == g_failAt) {
        ::SetLastError(g_failError);
        return FALSE;
    }
    return g_realFindNext(search, entry);
}

// A listing that ends with anything but its last entry (a network drop, a
// device gone) may have held anything: the walk fails, and no running figure
// is marked as its total. The end of the entries is no such failure.
TEST_F(SizeField, ListingThatFailsMidwayFailsTheWalk) {
    ScratchFolder folder(L"size-failing-read");
    folder.File(L"top.bin", std::string(100, 't'));
    folder.Folder(L"sub");
    folder.File(L"sub\\f.bin", std::string(2000, 'f'));
    zrv::unique_hwnd target(::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(target);
    ImportHook hook(L"kernel32.dll", "FindNextFileW", reinterpret_cast<void*>(&FailingFindNext));
    ASSERT_TRUE(hook.ok());
    g_realFindNext = hook.real<BOOL(WINAPI*)(HANDLE, WIN32_FIND_DATAW*)>();

    const auto walk = [&](int failAt, DWORD error, bool* last) {
        g_listingCalls = 0;
        g_failAt = failAt;
        g_failError = error;
        zrv::com_ptr<SizeJob> job = SizeJob::Create(MakeCString(folder.path()), target.get());
        SizeWalk(*job.get(), nullptr).TotalSize(MakeCString(folder.path()), false);
        return std::wstring(job->LatestText(last).GetString());
    };
    bool last = false;
    ASSERT_EQ(L"2 KB", walk(0, 0, &last));
    EXPECT_TRUE(last);
    const int steps = g_listingCalls;
    const struct {
        int failAt;
        DWORD error;
        const wchar_t* total;
    } rows[] = {
        {1, ERROR_UNEXP_NET_ERR, L""},         {steps / 2, ERROR_NOT_READY, L""},
        {steps - 1, ERROR_ACCESS_DENIED, L""}, {steps, ERROR_UNEXP_NET_ERR, L""},
        {steps, ERROR_NO_MORE_FILES, L"2 KB"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.total, walk(row.failAt, row.error, &last)) << row.failAt << " " << row.error;
        EXPECT_TRUE(last) << row.failAt;
    }
}

// A window hook that closes the sheet when the Size field is given its first
// figure, as a host may close it from inside any message the page sends.
HWND g_closingSheet = nullptr;
LRESULT CALLBACK CloseSheetOnFigure(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call && call->message == WM_SETTEXT && g_closingSheet &&
        ::GetDlgCtrlID(call->hwnd) == IDC_GENERAL_SIZE && call->lParam &&
        *reinterpret_cast<const wchar_t*>(call->lParam)) {
        HWND sheet = g_closingSheet;
        g_closingSheet = nullptr;
        ::DestroyWindow(sheet);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The page and its Size field go while the field is being set: nothing of
// the page is touched afterwards.
TEST_F(SizeField, SheetClosedWhileTheFieldIsSet) {
    ScratchFolder folder(L"size-closed-in-set");
    folder.File(L"a.txt", std::string(600, 'a'));
    folder.File(L"b.txt", std::string(600, 'b'));
    ScratchFolder links(L"size-links");
    const std::wstring link = ShortcutTo(links, L"closed-in-set", folder.path());
    ASSERT_FALSE(link.empty());
    const LONG pagesBefore = CZRVPropPage::LiveObjectCount();
    HHOOK hook =
        ::SetWindowsHookExW(WH_CALLWNDPROC, &CloseSheetOnFigure, nullptr, ::GetCurrentThreadId());
    ASSERT_TRUE(hook);
    zrv::scope_exit unhook([hook] { ::UnhookWindowsHookEx(hook); });
    g_closingSheet = CreateGeneralSheet(link);
    ASSERT_TRUE(g_closingSheet);
    const DWORD start = ::GetTickCount();
    while ((g_closingSheet || LiveSizeWorkers() != 0) && ::GetTickCount() - start < 60000) {
        PumpFor(nullptr, 5);
    }
    EXPECT_EQ(nullptr, g_closingSheet) << "no figure was shown";
    EXPECT_EQ(0, LiveSizeWorkers());
    EXPECT_EQ(pagesBefore, CZRVPropPage::LiveObjectCount());
    // Freed memory keeps a pattern under heap checking: a write after the
    // page went shows there.
    HANDLE heaps[64];
    const DWORD count = std::min<DWORD>(::GetProcessHeaps(64, heaps), 64);
    for (DWORD i = 0; i < count; ++i) EXPECT_TRUE(::HeapValidate(heaps[i], 0, nullptr)) << i;
}

// Notes each first access to the memory guarded by a GuardedMemory: the
// system takes a page's guard away at its first access and reports it.
struct GuardedMemory {
    GuardedMemory(const void* from, size_t size)
        : from(reinterpret_cast<ULONG_PTR>(from)), to(this->from + size) {
        const ULONG_PTR first = this->from & ~kPageMask;
        const ULONG_PTR end = (to + kPageMask) & ~kPageMask;
        s_guarded = this;
        handler = ::AddVectoredExceptionHandler(1, &NoteAccess);
        pages = reinterpret_cast<void*>(first);
        length = end - first;
        ok = handler && ::VirtualProtect(pages, length, PAGE_READWRITE | PAGE_GUARD, &before);
    }
    ~GuardedMemory() {
        DWORD guarded = 0;
        if (ok) ::VirtualProtect(pages, length, before, &guarded);
        if (handler) ::RemoveVectoredExceptionHandler(handler);
        s_guarded = nullptr;
    }
    static LONG CALLBACK NoteAccess(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        GuardedMemory* guarded = s_guarded;
        if (!guarded || record->ExceptionCode != STATUS_GUARD_PAGE_VIOLATION ||
            record->NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const ULONG_PTR address = record->ExceptionInformation[1];
        const ULONG_PTR first = reinterpret_cast<ULONG_PTR>(guarded->pages);
        if (address < first || address >= first + guarded->length) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        if (address >= guarded->from && address < guarded->to) ++guarded->touches;
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static constexpr ULONG_PTR kPageMask = 4095;
    static inline GuardedMemory* s_guarded = nullptr;
    const ULONG_PTR from, to;
    void* handler = nullptr;
    void* pages = nullptr;
    SIZE_T length = 0;
    DWORD before = 0;
    bool ok = false;
    volatile LONG touches = 0;
};

// A host that takes the Size field's WM_TIMER from the queue while the walk
// runs and dispatches it only after the sheet and its page are gone: the
// message reaches nothing of the page.
TEST_F(SizeField, FrameEndDispatchedAfterThePageWentTouchesNothingOfIt) {
    ScratchFolder links(L"size-links");
    ScratchFolder folder(L"size-held-timer");
    zrv::scope_exit clear([&] { ClearFileTree(folder.path()); });
    FileTree tree;
    ASSERT_TRUE(BuildFileTree(folder.path(), 2000, tree));
    const std::wstring link = ShortcutTo(links, L"held-timer", folder.path());
    ASSERT_FALSE(link.empty());

    const LONG pagesBefore = CZRVPropPage::LiveObjectCount();
    zrv::unique_hwnd sheet(CreateGeneralSheet(link));
    ASSERT_TRUE(sheet);
    HWND page = PropSheet_IndexToHwnd(sheet.get(), 0);
    ASSERT_TRUE(page);
    const void* object = reinterpret_cast<const void*>(::GetWindowLongPtrW(page, GWLP_USERDATA));
    ASSERT_TRUE(object);
    // Only timer messages are taken; the worker's updates are sent, and
    // handled meanwhile.
    MSG held = {};
    bool taken = false;
    const DWORD start = ::GetTickCount();
    while (!taken && ::GetTickCount() - start < 20000) {
        if (!::PeekMessageW(&held, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_TIMER | QS_SENDMESSAGE);
            continue;
        }
        taken = held.hwnd == page || ::IsChild(page, held.hwnd);
        if (!taken) ::DispatchMessageW(&held);
    }
    ASSERT_TRUE(taken) << "no frame's end came while the walk ran";

    sheet.reset();
    PumpFor(nullptr, 20);
    ASSERT_EQ(pagesBefore, CZRVPropPage::LiveObjectCount()) << "the page object went";
    LONG touches = 0;
    {
        GuardedMemory guarded(object, sizeof(CZRVPropPage_Summary));
        ASSERT_TRUE(guarded.ok);
        ::DispatchMessageW(&held);
        touches = guarded.touches;
    }
    EXPECT_EQ(0, touches) << "the freed page was read";
}

}  // namespace
}  // namespace zrvtest
