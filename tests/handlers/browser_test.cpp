// The document browser end to end: registered handlers, a real sheet, the
// three tabs, and clear failures.

#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_paths.h"
#include "handlers/shell_fixtures.h"

using namespace zrvtest;

namespace {

struct BrowserRun {
    int exitCode = -1;
    std::string output;
};

BrowserRun RunBrowser(const std::wstring& arguments) {
    ScratchFolder out(L"browserout");
    const std::wstring log = out.path() + L"\\out.txt";
    // cmd redirects the browser's output into a file we can read back.
    const std::wstring line = L"cmd.exe /c \"\"" + ProgramFolder() + L"ZRVBrowser.exe\" " +
                              arguments + L" > \"" + log + L"\" 2>&1\"";
    BrowserRun run;
    run.exitCode = RunProgram(line, 120000);
    run.output = ReadFileBytes(log);
    return run;
}

TEST(Browser, ShowsTheThreeTabsForOneDocument) {
    ScratchFolder folder(L"browser");
    const std::wstring file = folder.File(L"Report.doc", "content");
    BrowserRun run = RunBrowser(L"--report --close \"" + file + L"\"");
    EXPECT_EQ(0, run.exitCode) << run.output;
    for (const char* expected :
         {"handler {11FE3EAC-A8BB-4C04-A125-63DB988BB8A8} create=0x00000000 initialize=0x00000000 "
          "addpages=0x00000000",
          "handler {22FE3EAC-A8BB-4C04-A125-63DB988BB8A8} create=0x00000000 initialize=0x00000000 "
          "addpages=0x00000000",
          "handler {33FE3EAC-A8BB-4C04-A125-63DB988BB8A8} create=0x00000000 initialize=0x00000000 "
          "addpages=0x00000000",
          "tab 0: General", "tab 1: Categories", "tab 2: Life Cycle"}) {
        EXPECT_NE(std::string::npos, run.output.find(expected)) << expected << "\n" << run.output;
    }
}

TEST(Browser, SeveralFilesLeaveTheGeneralPageOut) {
    ScratchFolder folder(L"browser2");
    BrowserRun run = RunBrowser(L"--report --close \"" + folder.File(L"a.txt") + L"\" \"" +
                                folder.File(L"b.txt") + L"\"");
    EXPECT_EQ(0, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("initialize=0x80004005")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("tab 0: Categories")) << run.output;
    EXPECT_EQ(std::string::npos, run.output.find("tab 2:")) << run.output;
}

TEST(Browser, FailsClearlyWithoutPagesOrWithAMissingPath) {
    ScratchFolder folder(L"browser3");
    BrowserRun missing = RunBrowser(L"--close \"" + folder.path() + L"\\nothing.txt\"");
    EXPECT_NE(0, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.output.find("does not exist")) << missing.output;

    BrowserRun onlyFolder = RunBrowser(L"--close \"" + folder.Folder(L"sub") + L"\"");
    EXPECT_NE(0, onlyFolder.exitCode);
    EXPECT_NE(std::string::npos, onlyFolder.output.find("no property page")) << onlyFolder.output;
}

TEST(Browser, NamesAPathLongerThanMaxPathWhenItCannotShowIt) {
    ScratchFolder folder(L"browser4");
    const std::wstring name(260 - folder.path().size(), L'n');
    const std::wstring file = folder.File(name);
    ASSERT_EQ(261u, file.size());
    BrowserRun run = RunBrowser(L"--close \"" + file + L"\"");
    EXPECT_NE(0, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find(std::string(name.begin(), name.end())))
        << run.output;
    EXPECT_EQ(std::string::npos, run.output.find("does not exist")) << run.output;
}

}  // namespace
