// The registrar runs against the real registry of the test prefix. Every test
// works below HKCR\ZRVRegistryScriptTest\<test>.<process id>, so runs in
// parallel do not meet, and removes that key when it ends. Results are compared
// as a sorted dump of the whole subtree, so a stray key, value, type or
// terminator shows up in the failure message.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/registry_reader.h"
#include "module/registry_script.h"
#include "support/handles.h"

namespace {

using zrv::RegistryVariable;
using zrv::RunRegistryScript;
using zrv::unique_hkey;

constexpr char kTestRoot[] = "ZRVRegistryScriptTest";
constexpr char kModulePath[] = "C:\\x\\ZRVPropHelper.dll";
constexpr char kTypeLib[] = "{9CBD43DA-91F8-4647-B485-277219C1D3E6}";
constexpr char kClassId[] = "{11FE3EAC-A8BB-4C04-A125-63DB988BB8A8}";
constexpr char kDescription[] = "Lumatrel Office Summary property page";

// The General page handler's script exactly as the module stores it: CR LF line
// ends, tab indentation, blanks after the brace that closes the "*" block.
constexpr char kModuleScript[] =
    "HKCR\r\n"
    "{\r\n"
    "\tNoRemove CLSID\r\n"
    "\t{\r\n"
    "\t\tForceRemove {11FE3EAC-A8BB-4C04-A125-63DB988BB8A8} = s 'Lumatrel Office Summary "
    "property page'\r\n"
    "\t\t{\r\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\r\n"
    "\t\t\t{\r\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
    "\t\t\t}\r\n"
    "\t\t\t'TypeLib' = s '{9CBD43DA-91F8-4647-B485-277219C1D3E6}'\r\n"
    "\t\t}\r\n"
    "\t}\r\n"
    "\t\r\n"
    "\tNoRemove *\r\n"
    "\t{\r\n"
    "\t\tNoRemove KestrEx\r\n"
    "\t\t{\r\n"
    "\t\t\tNoRemove PropertySheetHandlers\r\n"
    "\t\t\t{\r\n"
    "\t\t\t\tForceRemove {11FE3EAC-A8BB-4C04-A125-63DB988BB8A8} = s 'Lumatrel Office Summary "
    "property page'\r\n"
    "\t\t\t}\r\n"
    "\t\t}\r\n"
    "\t} \t\t\r\n"
    "}\r\n";

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) {
        if (c == L'\0') {
            out += "\\0";
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            char buffer[12];
            std::snprintf(buffer, sizeof(buffer), "\\u%04X", static_cast<unsigned>(c));
            out += buffer;
        }
    }
    return out;
}

std::string FormatData(DWORD type, const std::vector<BYTE>& data) {
    char buffer[32];
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::wstring text(data.size() / sizeof(wchar_t), L'\0');
            std::copy(data.begin(), data.begin() + text.size() * sizeof(wchar_t),
                      reinterpret_cast<BYTE*>(&text[0]));
            // The stored size must cover exactly one terminator.
            const bool terminated = !text.empty() && text.back() == L'\0';
            if (terminated) text.pop_back();
            return std::string(type == REG_SZ ? "s '" : "e '") + Narrow(text) + "'" +
                   (terminated ? "" : " (no terminator)") +
                   (data.size() % 2 != 0 ? " (odd size)" : "");
        }
        case REG_DWORD: {
            if (data.size() != sizeof(DWORD)) return "d (size " + std::to_string(data.size()) + ")";
            DWORD value = 0;
            std::copy(data.begin(), data.end(), reinterpret_cast<BYTE*>(&value));
            return "d " + std::to_string(value);
        }
        case REG_BINARY: {
            std::string out = "b '";
            for (BYTE b : data) {
                std::snprintf(buffer, sizeof(buffer), "%02x", b);
                out += buffer;
            }
            return out + "'";
        }
        default:
            return "type " + std::to_string(type);
    }
}

// One line per key ("path") and per value ("path : name = data"; @ is the
// default value), sorted.
void DumpKey(HKEY key, const std::string& path, std::vector<std::string>& lines) {
    if (!path.empty()) lines.push_back(path);
    const std::string prefix = path.empty() ? "" : path + "\\";
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = ARRAYSIZE(name);
        DWORD type = 0;
        DWORD size = 0;
        LONG error = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size);
        if (error == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(ERROR_SUCCESS, error);
        std::vector<BYTE> data(size);
        nameLength = ARRAYSIZE(name);
        error = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
        ASSERT_EQ(ERROR_SUCCESS, error);
        data.resize(size);
        const std::string valueName = nameLength == 0 ? "@" : Narrow(name);
        lines.push_back((path.empty() ? "." : path) + " : " + valueName + " = " +
                        FormatData(type, data));
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = ARRAYSIZE(name);
        LONG error =
            RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(ERROR_SUCCESS, error);
        unique_hkey subkey;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(key, name, 0, KEY_READ, subkey.put()));
        DumpKey(subkey.get(), prefix + Narrow(name), lines);
    }
}

std::string Joined(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The tree the module script leaves, relative to the key it is rooted at.
std::vector<std::string> ModuleTree(const std::string& classId) {
    const std::string clsid = std::string("CLSID\\") + classId;
    const std::string handler = std::string("*\\KestrEx\\PropertySheetHandlers\\") + classId;
    return {
        "CLSID",
        clsid,
        clsid + " : @ = s '" + kDescription + "'",
        clsid + "\\InprocServer32",
        clsid + "\\InprocServer32 : @ = s '" + kModulePath + "'",
        clsid + "\\InprocServer32 : ThreadingModel = s 'Apartment'",
        clsid + "\\TypeLib",
        clsid + "\\TypeLib : @ = s '" + kTypeLib + "'",
        "*",
        "*\\KestrEx",
        "*\\KestrEx\\PropertySheetHandlers",
        handler,
        handler + " : @ = s '" + kDescription + "'",
    };
}

std::vector<std::string> Plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class RegistryScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_run = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "." +
                std::to_string(GetCurrentProcessId());
        m_path = Widen(std::string(kTestRoot) + "\\" + m_run);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, m_path.c_str());
        m_modulePath = Widen(kModulePath);
        m_variables = {{L"APPID", L""}, {L"MODULE", m_modulePath.c_str()}};
    }

    void TearDown() override {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, m_path.c_str());
        // Fails while another run still has its key there, which is what we want.
        RegDeleteKeyW(HKEY_CLASSES_ROOT, Widen(kTestRoot).c_str());
    }

    // Wraps the items of a block so that they land in this run's key. The
    // wrapping keys are NoRemove so that unregistering leaves them alone.
    std::string Script(const std::string& block) const {
        return "HKCR\r\n{\r\n\tNoRemove ZRVRegistryScriptTest\r\n\t{\r\n\t\tNoRemove '" + m_run +
               "'\r\n" + block + "\r\n\t}\r\n}\r\n";
    }
    std::string Items(const std::string& items) const { return Script("{\r\n" + items + "\r\n}"); }

    // The module script with its root moved from HKCR into this run's key.
    std::string ModuleScript() const {
        const std::string text = kModuleScript;
        const std::string root = "HKCR\r\n";
        return Script(text.substr(root.size()));
    }

    HRESULT Run(const std::string& text, bool doRegister) const {
        return RunRegistryScript(text.data(), text.size(), doRegister, m_variables.data(),
                                 m_variables.size());
    }

    bool RunKeyExists() const { return zrvtest::KeyExists(HKEY_CLASSES_ROOT, m_path); }

    std::string Dump() const {
        unique_hkey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, m_path.c_str(), 0, KEY_READ, key.put()) !=
            ERROR_SUCCESS) {
            return "(no key)\n";
        }
        std::vector<std::string> lines;
        DumpKey(key.get(), "", lines);
        return Joined(lines);
    }

    // Writes a key (and optionally a string value) below this run's key, as
    // someone else, or an earlier version, would have.
    void Plant(const std::string& relative, const char* valueName = nullptr,
               const char* value = "x") const {
        unique_hkey key;
        const std::wstring path = m_path + L"\\" + Widen(relative);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                                 KEY_WRITE, nullptr, key.put(), nullptr));
        if (valueName) {
            const std::wstring data = Widen(value);
            ASSERT_EQ(ERROR_SUCCESS,
                      RegSetValueExW(key.get(), Widen(valueName).c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(data.c_str()),
                                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))));
        }
    }

    std::string m_run;
    std::wstring m_path;
    std::wstring m_modulePath;
    std::wstring m_runName;
    // Borrow the texts above.
    std::vector<RegistryVariable> m_variables;
};

TEST_F(RegistryScriptTest, ModuleScriptRegistersEveryKeyAndValue) {
    ASSERT_EQ(S_OK, Run(ModuleScript(), true));
    EXPECT_EQ(Joined(ModuleTree(kClassId)), Dump());
}

TEST_F(RegistryScriptTest, RegisteringAgainRebuildsForceRemoveKeysAndKeepsOneCopy) {
    ASSERT_EQ(S_OK, Run(ModuleScript(), true));
    const std::string clsid = std::string("CLSID\\") + kClassId;
    const std::string handler = std::string("*\\KestrEx\\PropertySheetHandlers\\") + kClassId;
    // Left over from an older version below the ForceRemove keys...
    Plant(clsid + "\\LocalServer32", "Stale");
    Plant(clsid, "OldValue");
    Plant(clsid + "\\InprocServer32", "ThreadingModel", "Both");
    Plant(handler + "\\Old\\Deeper");
    // ...and someone else's entries beside them, which must survive.
    Plant("CLSID\\{00000000-0000-0000-0000-000000000001}", "", "other");
    Plant("*\\KestrEx\\PropertySheetHandlers\\Other");

    ASSERT_EQ(S_OK, Run(ModuleScript(), true));
    ASSERT_EQ(S_OK, Run(ModuleScript(), true));

    EXPECT_EQ(Joined(Plus(ModuleTree(kClassId),
                          {"CLSID\\{00000000-0000-0000-0000-000000000001}",
                           "CLSID\\{00000000-0000-0000-0000-000000000001} : @ = s 'other'",
                           "*\\KestrEx\\PropertySheetHandlers\\Other"})),
              Dump());
}

TEST_F(RegistryScriptTest, UnregisterKeepsNoRemoveKeysAndRemovesTheClassKeys) {
    ASSERT_EQ(S_OK, Run(ModuleScript(), true));
    Plant(std::string("CLSID\\") + kClassId + "\\Added\\Below");
    Plant("*\\KestrEx\\PropertySheetHandlers\\Other", "", "kept");

    ASSERT_EQ(S_OK, Run(ModuleScript(), false));
    const std::string expected = Joined({
        "CLSID",
        "*",
        "*\\KestrEx",
        "*\\KestrEx\\PropertySheetHandlers",
        "*\\KestrEx\\PropertySheetHandlers\\Other",
        "*\\KestrEx\\PropertySheetHandlers\\Other : @ = s 'kept'",
    });
    EXPECT_EQ(expected, Dump());

    // A second unregister finds nothing of its own left and changes nothing.
    EXPECT_EQ(S_OK, Run(ModuleScript(), false));
    EXPECT_EQ(expected, Dump());

    // Registering after unregistering brings back the full tree.
    ASSERT_EQ(S_OK, Run(ModuleScript(), true));
    EXPECT_EQ(Joined(Plus(ModuleTree(kClassId), {"*\\KestrEx\\PropertySheetHandlers\\Other",
                                                 "*\\KestrEx\\PropertySheetHandlers\\Other : @ = "
                                                 "s 'kept'"})),
              Dump());
}

TEST_F(RegistryScriptTest, UnregisterWithNothingRegisteredSucceedsAndCreatesNothing) {
    ASSERT_FALSE(RunKeyExists());
    EXPECT_EQ(S_OK, Run(ModuleScript(), false));
    EXPECT_FALSE(RunKeyExists());

    // Only some of the NoRemove keys there: the walk stops where the path ends.
    Plant("*\\KestrEx");
    EXPECT_EQ(S_OK, Run(ModuleScript(), false));
    EXPECT_EQ(Joined({"*", "*\\KestrEx"}), Dump());
}

TEST_F(RegistryScriptTest, UnregisterOfPlainKeysAndValues) {
    const std::string script = Items(
        "Plain = s 'mine'\r\n{\r\n val A = s 'a'\r\n Child\r\n}\r\n"
        "Shared\r\n{\r\n val Ours = s 'o'\r\n}\r\n"
        "NoRemove Kept = s 'default stays'\r\n{\r\n val Ours = s '1'\r\n val Missing = s "
        "'m'\r\n}\r\n");

    ASSERT_EQ(S_OK, Run(script, true));
    EXPECT_EQ(Joined({
                  "Kept",
                  "Kept : @ = s 'default stays'",
                  "Kept : Missing = s 'm'",
                  "Kept : Ours = s '1'",
                  "Plain",
                  "Plain : @ = s 'mine'",
                  "Plain : A = s 'a'",
                  "Plain\\Child",
                  "Shared",
                  "Shared : Ours = s 'o'",
              }),
              Dump());

    // Someone else's subkey keeps a plain key alive; their values stay too.
    Plant("Shared\\Theirs");
    Plant("Kept", "Theirs");
    Plant("Plain", "Theirs");
    ASSERT_EQ(S_OK, Run(script, false));
    EXPECT_EQ(Joined({
                  "Kept",
                  "Kept : @ = s 'default stays'",
                  "Kept : Theirs = s 'x'",
                  "Shared",
                  "Shared\\Theirs",
              }),
              Dump());
}

TEST_F(RegistryScriptTest, EscapesAndVariables) {
    m_variables.push_back({L"Quoted", L"O'Brien %MODULE% 100%"});
    const std::string script = Items(
        "ForceRemove 'Key With Blanks' = s 'it''s 100%% %module%'\r\n"
        "{\r\n"
        " val Empty = s ''\r\n"
        " val 'val' = s 'a value named like the keyword'\r\n"
        " val Literal = s '%QUOTED%'\r\n"
        " val Quotes = s ''''''\r\n"
        " 'NoRemove' = S 'a key named like the keyword'\r\n"
        " %MODULE%.Sub\r\n"
        "}\r\n");
    // The variable's value holds a backslash, so as a key name it must be refused.
    EXPECT_EQ(DISP_E_EXCEPTION, Run(script, true));
    EXPECT_FALSE(RunKeyExists());

    m_variables[1].value = L"ZRVPropHelper";
    ASSERT_EQ(S_OK, Run(script, true));
    EXPECT_EQ(Joined({
                  "Key With Blanks",
                  "Key With Blanks : @ = s 'it's 100% ZRVPropHelper'",
                  "Key With Blanks : Empty = s ''",
                  "Key With Blanks : val = s 'a value named like the keyword'",
                  "Key With Blanks : Literal = s 'O'Brien %MODULE% 100%'",
                  "Key With Blanks : Quotes = s ''''",
                  "Key With Blanks\\NoRemove",
                  "Key With Blanks\\NoRemove : @ = s 'a key named like the keyword'",
                  "Key With Blanks\\ZRVPropHelper.Sub",
              }),
              Dump());
}

TEST_F(RegistryScriptTest, LayoutOfBlanksAndLineEndsDoesNotMatter) {
    const std::string canonical = ModuleScript();
    const std::vector<std::string> variants = {
        Replaced(canonical, "\r\n", "\n"),
        Replaced(canonical, "\r\n", "\r"),
        Replaced(Replaced(canonical, "\t", "    "), "\r\n", " \t \r\n"),
        Replaced(canonical, "\r\n", " "),
        canonical.substr(0, canonical.size() - 2),  // no line end after the last brace
        canonical + " \t\r\n\r\n   ",
        "\r\n\t  \n" + canonical,
        Replaced(canonical, "} \t\t\r\n", "}\r\n"),  // the other scripts' variant
        Replaced(canonical, "{\r\n", " \t{\t\r\n"),
        canonical + std::string(3, '\0'),  // NUL padding after the text
    };
    for (size_t i = 0; i < variants.size(); ++i) {
        SCOPED_TRACE("variant " + std::to_string(i));
        RegDeleteTreeW(HKEY_CLASSES_ROOT, m_path.c_str());
        ASSERT_EQ(S_OK, Run(variants[i], true));
        EXPECT_EQ(Joined(ModuleTree(kClassId)), Dump());
        ASSERT_EQ(S_OK, Run(variants[i], false));
        EXPECT_EQ(Joined({"CLSID", "*", "*\\KestrEx", "*\\KestrEx\\PropertySheetHandlers"}),
                  Dump());
    }
}

TEST_F(RegistryScriptTest, MalformedScriptsFailAndWriteNothing) {
    // Each fault follows an item that would be written if the registry were
    // touched before the whole script had been read.
    const std::string written = "ForceRemove Written = s 'x' { }\r\n";
    const std::vector<std::string> faultyItems = {
        "Open {",
        "}",
        "A =",
        "A = s",
        "A = 'no type'",
        "A = q 'x'",
        "A = s unquoted",
        "A = s '%NOPE%'",
        "A = s '%%MODULE%'",
        "A = s '50%'",
        "A = s 'never closed",
        "'A'B = s 'x'",
        "A'B = s 'x'",
        // Only string values are written.
        "A = d '1'",
        "A = e 'x'",
        "A = b '00'",
        "'A\\B' = s 'two levels'",
        "''",
        "ForceRemove = s 'x'",
        "NoRemove ForceRemove A",
        "val A s 'x'",
        "val = s 'x'",
        "val '' = s 'x'",
        "val NoRemove = s 'x'",
        "A { val B = s 'x' C = }",
        "{ A }",
        "= A",
    };
    for (const std::string& items : faultyItems) {
        SCOPED_TRACE(items);
        EXPECT_EQ(DISP_E_EXCEPTION, Run(Items(written + items), true));
        EXPECT_EQ(DISP_E_EXCEPTION, Run(Items(written + items), false));
        EXPECT_FALSE(RunKeyExists());
    }

    const std::string good = Items(written);
    const std::vector<std::string> faultyScripts = {
        good + "HKXX\r\n{\r\n}\r\n",
        good + "HKCU\r\n{\r\n}\r\n",
        good + "HKEY_CLASSES_ROOT\r\n{\r\n}\r\n",
        good + "HKCR\r\n",
        good + "HKCR NoRemove Software",
        good + "HKCR\r\n{\r\n val A = s 'no values on a root key'\r\n}\r\n",
        good + "}",
        good + "{",
        good + "\x01\x02\x7f garbage",
        good.substr(0, good.size() - 3),  // last closing brace missing
        good + std::string(1, '\0') + "HKCR { Hidden }",
        "{\r\n" + good,
    };
    for (const std::string& text : faultyScripts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(DISP_E_EXCEPTION, Run(text, true));
        EXPECT_FALSE(RunKeyExists());
    }
}

TEST_F(RegistryScriptTest, NestingIsBoundedAndHostileDepthIsRefused) {
    // The wrapper uses three blocks; 64 are allowed in all.
    auto nested = [this](int levels) {
        std::string items;
        for (int i = 0; i < levels; ++i) items += "K {\r\n";
        items += "val Deepest = s 'here'\r\n";
        for (int i = 0; i < levels; ++i) items += "}\r\n";
        return Items(items);
    };
    ASSERT_EQ(S_OK, Run(nested(61), true));
    std::wstring deepest = m_path;
    for (int i = 0; i < 61; ++i) deepest += L"\\K";
    unique_hkey key;
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CLASSES_ROOT, deepest.c_str(), 0, KEY_READ, key.put()));
    key.reset();
    ASSERT_EQ(S_OK, Run(nested(61), false));
    EXPECT_EQ("", Dump());

    RegDeleteTreeW(HKEY_CLASSES_ROOT, m_path.c_str());
    EXPECT_EQ(DISP_E_EXCEPTION, Run(nested(62), true));
    EXPECT_FALSE(RunKeyExists());

    std::string hostile = "HKCR {";
    for (int i = 0; i < 200000; ++i) hostile += " K {";
    EXPECT_EQ(DISP_E_EXCEPTION, RunRegistryScript(hostile.data(), hostile.size(), true,
                                                  m_variables.data(), m_variables.size()));
}

TEST_F(RegistryScriptTest, EmptyAndNullInput) {
    EXPECT_EQ(S_OK, RunRegistryScript(nullptr, 0, true, m_variables.data(), m_variables.size()));
    EXPECT_EQ(S_OK, RunRegistryScript("", 0, false, m_variables.data(), m_variables.size()));
    EXPECT_EQ(S_OK, RunRegistryScript(" \t\r\n", 4, true, m_variables.data(), m_variables.size()));
    EXPECT_EQ(S_OK, RunRegistryScript("\0\0", 2, true, m_variables.data(), m_variables.size()));
    EXPECT_EQ(E_POINTER,
              RunRegistryScript(nullptr, 5, true, m_variables.data(), m_variables.size()));
    // The length counts, not a terminator: a shorter length cuts the script.
    const std::string script = ModuleScript();
    EXPECT_EQ(DISP_E_EXCEPTION, RunRegistryScript(script.c_str(), script.size() - 5, true,
                                                  m_variables.data(), m_variables.size()));
    EXPECT_FALSE(RunKeyExists());
}

TEST_F(RegistryScriptTest, RegistryFailureIsReportedAsWin32Code) {
    // A key name longer than the registry allows.
    const std::string script = Items(std::string(300, 'N'));
    const HRESULT hr = Run(script, true);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(hr)) << std::hex << hr;
}

// The module's own root: HKCR. Only keys of a class id made up for this run
// are written below CLSID, which exists in every prefix.
TEST_F(RegistryScriptTest, ClassesRootScript) {
    char classId[64];
    std::snprintf(classId, sizeof(classId), "{5A1E0000-0000-4000-8000-%012lX}",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    const std::string script =
        std::string("HKCR\r\n{\r\n NoRemove CLSID\r\n {\r\n") + "  ForceRemove " + classId +
        " = s 'test'\r\n  {\r\n" + "   InprocServer32 = s '%MODULE%'\r\n" +
        "   {\r\n    val ThreadingModel = s 'Apartment'\r\n   }\r\n" + "  }\r\n }\r\n}\r\n";
    const std::wstring classKey = L"CLSID\\" + Widen(classId);
    auto cleanup = zrv::scope_exit([&] { RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str()); });

    ASSERT_EQ(S_OK, Run(script, true));
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_CLASSES_ROOT, (classKey + L"\\InprocServer32").c_str(), nullptr,
                           RRF_RT_REG_SZ, nullptr, value, &size));
    EXPECT_EQ(Widen(kModulePath), value);

    ASSERT_EQ(S_OK, Run(script, false));
    unique_hkey key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ, key.put()));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, key.put()));
}

TEST_F(RegistryScriptTest, ScriptFromResource) {
    // registry_script_test.rc holds script 200 of this executable.
    HMODULE self = GetModuleHandleW(nullptr);
    m_runName = Widen(m_run);
    m_variables.push_back({L"RUN", m_runName.c_str()});
    ASSERT_EQ(S_OK, zrv::RunRegistryScriptResource(self, 200, true, m_variables.data(),
                                                   m_variables.size()));
    EXPECT_EQ(Joined({"FromResource", std::string("FromResource : @ = s '") + kModulePath + "'"}),
              Dump());
    ASSERT_EQ(S_OK, zrv::RunRegistryScriptResource(self, 200, false, m_variables.data(),
                                                   m_variables.size()));
    EXPECT_EQ("", Dump());

    EXPECT_EQ(
        HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND),
        zrv::RunRegistryScriptResource(self, 201, true, m_variables.data(), m_variables.size()));
}

}  // namespace
