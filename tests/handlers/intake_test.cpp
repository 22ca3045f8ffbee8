// Reading the host's CF_HDROP selection: what is taken, in which order, what
// is skipped, and what each handler answers.

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/hdrop_data_object.h"
#include "common/import_hook.h"
#include "handlers/prop_sheet_handlers.h"
#include "handlers/selection_intake.h"
#include "handlers/shell_fixtures.h"
#include "module/class_factory.h"

using namespace zrvtest;

namespace {

std::vector<std::wstring> Paths(const FileSelection& selection) {
    std::vector<std::wstring> result;
    for (const CString& s : selection) result.emplace_back(s.GetString());
    return result;
}

HRESULT InitializeHandler(ObjectCreator create, IDataObject* data) {
    zrv::com_ptr<IShellExtInit> init;
    HRESULT hr = create(nullptr, IID_IShellExtInit, init.put_void());
    if (FAILED(hr)) return hr;
    return init->Initialize(nullptr, data, nullptr);
}

// Counts the program's calls to PathIsDirectoryW, which the intake makes once
// per name it examines.
class DirectoryProbeCounter {
  public:
    DirectoryProbeCounter()
        : m_hook(L"shlwapi.dll", "PathIsDirectoryW", reinterpret_cast<void*>(&Count)) {
        s_real = m_hook.real<Probe>();
        s_calls = 0;
    }
    bool ok() const { return m_hook.ok(); }
    int calls() const { return s_calls; }

  private:
    using Probe = BOOL(WINAPI*)(LPCWSTR);
    static BOOL WINAPI Count(LPCWSTR path) {
        ++s_calls;
        return s_real(path);
    }

    static inline Probe s_real = nullptr;
    static inline int s_calls = 0;
    zrvtest::ImportHook m_hook;
};

// Counts its releases; stands for the object that owns a medium.
class ReleaseCounter final : public IUnknown {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = iid == IID_IUnknown ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

// A data object that hands back whatever medium it is told to, with the
// answer it is told to give. The medium stays its own.
class OddMediumData final : public IDataObject {
  public:
    OddMediumData(HRESULT answer, const STGMEDIUM& medium) : m_answer(answer), m_medium(medium) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = iid == IID_IUnknown || iid == IID_IDataObject ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetData(FORMATETC*, STGMEDIUM* medium) override {
        *medium = m_medium;
        return m_answer;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return S_OK; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  private:
    HRESULT m_answer;
    STGMEDIUM m_medium;
};

// A movable block holding bytes, owned by the caller.
HGLOBAL BlockOf(const std::string& bytes) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (block) {
        std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
        ::GlobalUnlock(block);
    }
    return block;
}

TEST(SelectionIntake, KeepsTheFirstHundredInDropOrderAfterReadingAll) {
    ScratchFolder folder(L"intake150");
    std::vector<std::wstring> files;
    for (int i = 0; i < 150; ++i) files.push_back(folder.File(L"f" + std::to_wstring(i) + L".txt"));
    // A shortcut beyond the hundredth name cannot change the outcome.
    const std::wstring link = folder.path() + L"\\late.lnk";
    ASSERT_TRUE(MakeShortcut(link, files[0]));
    files.push_back(link);

    FileSelection selection;
    EXPECT_EQ(S_OK, ReadSelection(DropData(files).get(), selection));
    ASSERT_EQ(100u, selection.size());
    for (size_t i = 0; i < 100; ++i) EXPECT_EQ(files[i], selection[i].GetString()) << i;

    auto data = DropData(files);
    EXPECT_EQ(S_OK, InitializeHandler(&CZRVPropSheet_Category::Create, data.get()));
    EXPECT_EQ(S_OK, InitializeHandler(&CZRVPropSheet_LifeCycle::Create, data.get()));
    EXPECT_EQ(E_FAIL, InitializeHandler(&CZRVPropSheet_Summary::Create, data.get()));
}

TEST(SelectionIntake, FoldersAreDroppedAndDuplicatesKept) {
    ScratchFolder folder(L"intakemix");
    const std::wstring a = folder.File(L"a.txt");
    const std::wstring b = folder.File(L"b.txt");
    const std::wstring sub1 = folder.Folder(L"sub1");
    const std::wstring sub2 = folder.Folder(L"sub2.ext");

    FileSelection selection;
    EXPECT_EQ(S_OK, ReadSelection(DropData({sub1, a, sub2, b, a}).get(), selection));
    EXPECT_EQ((std::vector<std::wstring>{a, b, a}), Paths(selection));

    EXPECT_EQ(E_FAIL, ReadSelection(DropData({sub1, sub2}).get(), selection));
    EXPECT_TRUE(selection.empty());

    // One file and one folder: the General page sees exactly one item.
    auto mixed = DropData({sub1, a});
    EXPECT_EQ(S_OK, InitializeHandler(&CZRVPropSheet_Summary::Create, mixed.get()));
    EXPECT_EQ(E_FAIL, InitializeHandler(&CZRVPropSheet_Summary::Create, DropData({a, b}).get()));
    EXPECT_EQ(E_FAIL, InitializeHandler(&CZRVPropSheet_Summary::Create, DropData({sub1}).get()));
}

TEST(SelectionIntake, ShortcutsBecomeTheirTargets) {
    ScratchFolder folder(L"intakelnk");
    const std::wstring target = folder.File(L"target.doc");
    const std::wstring targetFolder = folder.Folder(L"docs");
    const std::wstring plain = folder.File(L"plain.txt");
    const std::wstring toFile = folder.path() + L"\\to file.lnk";
    const std::wstring toFolder = folder.path() + L"\\to folder.lnk";
    ASSERT_TRUE(MakeShortcut(toFile, target));
    ASSERT_TRUE(MakeShortcut(toFolder, targetFolder));
    // Not a shortcut inside, though the shell takes it for one by its name.
    const std::wstring damaged = folder.File(L"damaged.lnk", std::string(40, '\x7f'));

    FileSelection selection;
    EXPECT_EQ(S_OK, ReadSelection(DropData({toFile, damaged, toFolder, plain}).get(), selection));
    EXPECT_EQ((std::vector<std::wstring>{target, targetFolder, plain}), Paths(selection));

    // A shortcut to a folder gives the General page that folder.
    EXPECT_EQ(S_OK, InitializeHandler(&CZRVPropSheet_Summary::Create, DropData({toFolder}).get()));
}

TEST(SelectionIntake, UnusableDataIsRefusedSafely) {
    FileSelection selection;
    EXPECT_EQ(E_INVALIDARG, ReadSelection(nullptr, selection));

    zrv::com_ptr<IDataObject> text;
    ASSERT_EQ(S_OK, zrvproduct::CreateMemoryDataObject(CF_UNICODETEXT, "a\0\0\0", text.put()));
    EXPECT_EQ(E_INVALIDARG, ReadSelection(text.get(), selection));

    // A header whose list starts beyond the block, and a list without its
    // terminator: never read past the end.
    DROPFILES header = {};
    header.pFiles = 4096;
    header.fWide = TRUE;
    std::string beyond(reinterpret_cast<const char*>(&header), sizeof(header));
    header.pFiles = sizeof(DROPFILES);
    std::string unterminated(reinterpret_cast<const char*>(&header), sizeof(header));
    unterminated += std::string("C\0:\0\\\0", 6);
    for (const std::string& bytes : {beyond, unterminated, std::string("xy")}) {
        zrv::com_ptr<IDataObject> bad;
        ASSERT_EQ(S_OK, zrvproduct::CreateMemoryDataObject(CF_HDROP, bytes, bad.put()));
        EXPECT_EQ(E_INVALIDARG, ReadSelection(bad.get(), selection));
    }

    // An empty list and names that do not exist.
    EXPECT_EQ(E_FAIL, ReadSelection(DropData({}).get(), selection));
    EXPECT_EQ(E_INVALIDARG, InitializeHandler(&CZRVPropSheet_Category::Create, nullptr));
}

// A medium is given back only when the data object handed one over: what a
// failed GetData left behind is not the caller's, and a medium with a
// releasing object stays its owner's memory.
TEST(SelectionIntake, OnlyAHandedOverMediumIsGivenBack) {
    ScratchFolder folder(L"intakemedium");
    const std::wstring plain = folder.File(L"plain.txt");
    HGLOBAL theirs = BlockOf(zrvproduct::BuildDropList({plain}));
    ASSERT_TRUE(theirs);
    ReleaseCounter owner;
    FileSelection selection;

    STGMEDIUM failed = {};
    failed.tymed = TYMED_HGLOBAL;
    failed.hGlobal = theirs;
    failed.pUnkForRelease = &owner;
    OddMediumData refusing(E_FAIL, failed);
    EXPECT_EQ(E_INVALIDARG, ReadSelection(&refusing, selection));
    EXPECT_EQ(1u, owner.refs) << "a failed GetData handed nothing over";
    failed.pUnkForRelease = nullptr;
    OddMediumData refusingBare(DV_E_FORMATETC, failed);
    EXPECT_EQ(E_INVALIDARG, ReadSelection(&refusingBare, selection));
    EXPECT_NE(0u, ::GlobalSize(theirs)) << "the data object's block was freed";

    STGMEDIUM lent = {};
    lent.tymed = TYMED_HGLOBAL;
    lent.hGlobal = theirs;
    lent.pUnkForRelease = &owner;
    owner.AddRef();
    OddMediumData lending(S_OK, lent);
    EXPECT_EQ(S_OK, ReadSelection(&lending, selection));
    EXPECT_EQ(std::vector<std::wstring>{plain}, Paths(selection));
    EXPECT_EQ(1u, owner.refs) << "the lent medium went back to its owner";
    EXPECT_NE(0u, ::GlobalSize(theirs));

    // A stream where memory was asked for, and memory that is not there.
    zrv::com_ptr<IStream> stream;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
    STGMEDIUM streamed = {};
    streamed.tymed = TYMED_ISTREAM;
    streamed.pstm = stream.get();
    stream->AddRef();
    OddMediumData streaming(S_OK, streamed);
    EXPECT_EQ(E_INVALIDARG, ReadSelection(&streaming, selection));
    EXPECT_EQ(1u, stream->AddRef() - 1) << "the stream medium was given back";
    stream->Release();
    STGMEDIUM empty = {};
    empty.tymed = TYMED_HGLOBAL;
    OddMediumData nothing(S_OK, empty);
    EXPECT_EQ(E_INVALIDARG, ReadSelection(&nothing, selection));

    ::GlobalFree(theirs);
}

TEST(SelectionIntake, AListWithoutNamesIsNotWalked) {
    ScratchFolder folder(L"intakeempty");
    const std::wstring plain = folder.File(L"plain.txt");
    // The terminator comes first; a real name's bytes follow inside the block.
    std::string bytes = zrvproduct::BuildDropList({});
    bytes.insert(sizeof(DROPFILES) + sizeof(wchar_t), reinterpret_cast<const char*>(plain.c_str()),
                 (plain.size() + 1) * sizeof(wchar_t));
    zrv::com_ptr<IDataObject> data;
    ASSERT_EQ(S_OK, zrvproduct::CreateMemoryDataObject(CF_HDROP, bytes, data.put()));

    FileSelection selection;
    EXPECT_EQ(E_FAIL, ReadSelection(data.get(), selection));
    EXPECT_EQ(std::vector<std::wstring>{}, Paths(selection));
    for (ObjectCreator create : {&CZRVPropSheet_Summary::Create, &CZRVPropSheet_Category::Create,
                                 &CZRVPropSheet_LifeCycle::Create}) {
        EXPECT_EQ(E_FAIL, InitializeHandler(create, data.get()));
    }
}

TEST(SelectionIntake, NoNameIsExaminedOnceAHundredAreTaken) {
    ScratchFolder folder(L"intakestop");
    std::vector<std::wstring> names{folder.Folder(L"sub")};
    for (int i = 0; i < 130; ++i) names.push_back(folder.File(L"f" + std::to_wstring(i) + L".txt"));

    DirectoryProbeCounter probes;
    ASSERT_TRUE(probes.ok());
    FileSelection selection;
    EXPECT_EQ(S_OK, ReadSelection(DropData(names).get(), selection));
    EXPECT_EQ(101, probes.calls()) << "the folder and the hundred files taken";
    ASSERT_EQ(100u, selection.size());
    EXPECT_EQ(names[100], selection.back().GetString());
}

TEST(SelectionIntake, NamesTooLongToHoldAreSkippedNeverCut) {
    ScratchFolder folder(L"intakelong");
    std::wstring fits = folder.path() + L"\\";
    fits += std::wstring(259 - fits.size(), L'n');
    ASSERT_EQ(259u, fits.size());
    folder.File(fits.substr(folder.path().size() + 1));
    // Cut to 259 characters, each of these would name the file above.
    const std::wstring longer[] = {fits + L"x", fits + L"xy"};

    FileSelection selection;
    EXPECT_EQ(S_OK, ReadSelection(DropData({longer[0], longer[1], fits}).get(), selection));
    EXPECT_EQ(std::vector<std::wstring>{fits}, Paths(selection));
    EXPECT_EQ(E_FAIL, ReadSelection(DropData({longer[1]}).get(), selection));
}

// A list of ANSI names gives each name as the shell's DragQueryFileW does,
// converted from the ANSI code page, and a name longer than a path buffer
// once converted is skipped, not cut.
TEST(SelectionIntake, AnsiNamesReadAsTheShellConvertsThem) {
    ScratchFolder folder(L"intakeansi");
    const std::wstring file = folder.path() + L"\\caf\u00e9 r\u00e9sum\u00e9.txt";
    // Cut to 259 units, this name would name the file made for it.
    std::wstring tooLong = file.substr(0, file.size() - 4);
    tooLong.resize(260, L'n');
    folder.File(file.substr(folder.path().size() + 1));
    folder.File(tooLong.substr(folder.path().size() + 1, 259 - folder.path().size() - 1));
    SHFILEINFOW seen = {};
    if (::SHGetFileInfoW(file.c_str(), 0, &seen, sizeof(seen), SHGFI_ATTRIBUTES) == 0) {
        GTEST_SKIP() << "the shell cannot see the name here";
    }

    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof(header));
    for (const std::wstring& name : {tooLong, file}) {
        BOOL lossy = FALSE;
        char ansi[2 * MAX_PATH] = {};
        if (!::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, ansi,
                                   sizeof(ansi), nullptr, &lossy) ||
            lossy) {
            GTEST_SKIP() << "the ANSI code page " << ::GetACP() << " cannot spell the name";
        }
        bytes.append(ansi, std::strlen(ansi) + 1);
    }
    bytes += '\0';
    zrv::com_ptr<IDataObject> data;
    ASSERT_EQ(S_OK, zrvproduct::CreateMemoryDataObject(CF_HDROP, bytes, data.put()));

    HGLOBAL block = BlockOf(bytes);
    ASSERT_TRUE(block);
    wchar_t shell[MAX_PATH] = {};
    ::DragQueryFileW(static_cast<HDROP>(block), 1, shell, MAX_PATH);
    ::GlobalFree(block);
    EXPECT_EQ(file, shell);

    FileSelection selection;
    EXPECT_EQ(S_OK, ReadSelection(data.get(), selection));
    EXPECT_EQ(std::vector<std::wstring>{file}, Paths(selection));
}

}  // namespace
