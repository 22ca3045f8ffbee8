#include "registry_script.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "support/cstring.h"
#include "support/handles.h"
#include "support/hresult.h"
#include "support/nothrow_vector.h"
#include "support/registry_keys.h"

namespace zrv {
namespace {

// Deeper nesting than any real script needs; it bounds the parser's and the
// executor's recursion on a hostile resource.
constexpr int kMaxBlockDepth = 64;

// DELETE and enumeration on every opened key: RegDeleteTreeW wants them on
// the parent it is given.
constexpr REGSAM kKeyAccess = KEY_READ | KEY_WRITE | DELETE;

// Every fault in the script itself is answered with the registrar's code.
// The message goes to the debugger so a broken script can be found.
HRESULT ScriptFault(int line, const wchar_t* what) noexcept {
    wchar_t message[160];
    std::swprintf(message, sizeof(message) / sizeof(message[0]),
                  L"ZRVPropHelper: registry script line %d: %ls\n", line, what);
    OutputDebugStringW(message);
    return DISP_E_EXCEPTION;
}

HRESULT FromWin32(LONG error) noexcept { return HRESULT_FROM_WIN32(static_cast<DWORD>(error)); }

// Some loader failures leave no last-error code; they must not read as success.
HRESULT LastErrorResult() noexcept {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

bool EqualsNoCase(const CString& a, const wchar_t* b) noexcept {
    return CompareStringOrdinal(a, a.GetLength(), b, -1, TRUE) == CSTR_EQUAL;
}

bool IsBlank(wchar_t c) noexcept { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// ---------------------------------------------------------------------------
// Tokens

enum class TokenKind { Word, Quoted, Open, Close, Equals, End };

struct Token {
    TokenKind kind;
    CString text;  // Word: as written; Quoted: with '' already folded
    int line;
};

HRESULT Tokenize(const CString& text, nothrow_vector<Token>& tokens) noexcept {
    int line = 1;
    int i = 0;
    const int n = text.GetLength();
    while (true) {
        while (i < n && IsBlank(text[i])) {
            if (text[i] == L'\n') ++line;
            ++i;
        }
        if (i == n) break;

        Token token{TokenKind::Word, CString(), line};
        if (text[i] == L'\'') {
            token.kind = TokenKind::Quoted;
            for (++i;; ++i) {
                if (i == n) return ScriptFault(token.line, L"unterminated quoted text");
                if (text[i] == L'\'') {
                    if (i + 1 < n && text[i + 1] == L'\'') {
                        ZRV_RETURN_IF_FAILED(token.text.Append(L'\''));
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (text[i] == L'\n') ++line;
                ZRV_RETURN_IF_FAILED(token.text.Append(text[i]));
            }
            // Text glued to a closing quote is almost certainly a missing blank
            // or a stray quote; guessing would write the wrong name.
            if (i < n && !IsBlank(text[i])) return ScriptFault(line, L"text right after a quote");
        } else {
            const int start = i;
            while (i < n && !IsBlank(text[i])) {
                if (text[i] == L'\'') return ScriptFault(line, L"quote inside a bare word");
                ++i;
            }
            ZRV_RETURN_IF_FAILED(token.text.SetString(text.GetString() + start, i - start));
            if (token.text == L"{") {
                token.kind = TokenKind::Open;
            } else if (token.text == L"}") {
                token.kind = TokenKind::Close;
            } else if (token.text == L"=") {
                token.kind = TokenKind::Equals;
            }
        }
        ZRV_RETURN_IF_FAILED(tokens.push_back(std::move(token)));
    }
    return tokens.push_back(Token{TokenKind::End, CString(), line});
}

// ---------------------------------------------------------------------------
// Script tree

enum class Disposition { Plain, NoRemove, ForceRemove };

// Every value is a string (REG_SZ).
struct ScriptValue {
    CString name;  // empty for a key's default value
    CString text;
};

struct ScriptKey {
    Disposition disposition = Disposition::Plain;
    CString name;
    bool hasDefault = false;
    ScriptValue defaultValue;
    nothrow_vector<ScriptValue> values;
    nothrow_vector<ScriptKey> subkeys;
};

// ---------------------------------------------------------------------------
// Parser

class Parser {
  public:
    Parser(const nothrow_vector<Token>& tokens, const RegistryVariable* variables,
           size_t variableCount) noexcept
        : m_tokens(tokens), m_variables(variables), m_variableCount(variableCount) {}

    // The keys of every root block, in order; the root is always HKCR.
    HRESULT ParseScript(nothrow_vector<ScriptKey>& keys) noexcept {
        while (Peek().kind != TokenKind::End) {
            const Token& token = Next();
            if (token.kind != TokenKind::Word || !EqualsNoCase(token.text, L"HKCR")) {
                return ScriptFault(token.line, L"expected the root key HKCR");
            }
            ZRV_RETURN_IF_FAILED(Expect(TokenKind::Open, L"expected { after the root key"));
            nothrow_vector<ScriptValue> values;
            ZRV_RETURN_IF_FAILED(ParseBlock(1, keys, values));
            if (!values.empty()) return ScriptFault(token.line, L"values on a root key");
        }
        return S_OK;
    }

  private:
    const Token& Peek() const noexcept { return m_tokens[m_pos]; }
    const Token& Next() noexcept {
        const Token& token = m_tokens[m_pos];
        if (token.kind != TokenKind::End) ++m_pos;
        return token;
    }
    HRESULT Expect(TokenKind kind, const wchar_t* what) noexcept {
        const Token& token = Next();
        return token.kind == kind ? S_OK : ScriptFault(token.line, what);
    }

    static bool IsKeyword(const Token& token) noexcept {
        return token.kind == TokenKind::Word &&
               (EqualsNoCase(token.text, L"val") || EqualsNoCase(token.text, L"NoRemove") ||
                EqualsNoCase(token.text, L"ForceRemove"));
    }

    // Items up to and including the closing brace of the block just opened.
    HRESULT ParseBlock(int depth, nothrow_vector<ScriptKey>& subkeys,
                       nothrow_vector<ScriptValue>& values) noexcept {
        if (depth > kMaxBlockDepth) return ScriptFault(Peek().line, L"blocks nested too deep");
        while (true) {
            const Token& token = Next();
            switch (token.kind) {
                case TokenKind::Close:
                    return S_OK;
                case TokenKind::End:
                    return ScriptFault(token.line, L"missing }");
                case TokenKind::Open:
                case TokenKind::Equals:
                    return ScriptFault(token.line, L"expected a key or a value");
                case TokenKind::Word:
                    if (EqualsNoCase(token.text, L"val")) {
                        ScriptValue value;
                        ZRV_RETURN_IF_FAILED(ParseName(value.name));
                        ZRV_RETURN_IF_FAILED(
                            Expect(TokenKind::Equals, L"expected = after a value name"));
                        ZRV_RETURN_IF_FAILED(ParseTyped(value));
                        ZRV_RETURN_IF_FAILED(values.push_back(std::move(value)));
                        continue;
                    }
                    break;
                case TokenKind::Quoted:
                    break;
            }

            ScriptKey key;
            if (token.kind == TokenKind::Word) {
                if (EqualsNoCase(token.text, L"NoRemove")) {
                    key.disposition = Disposition::NoRemove;
                } else if (EqualsNoCase(token.text, L"ForceRemove")) {
                    key.disposition = Disposition::ForceRemove;
                }
            }
            if (key.disposition == Disposition::Plain) --m_pos;  // the token is the name
            ZRV_RETURN_IF_FAILED(ParseName(key.name));
            if (key.name.Find(L'\\') >= 0) {
                return ScriptFault(token.line, L"a key name must be one level");
            }
            if (Peek().kind == TokenKind::Equals) {
                Next();
                key.hasDefault = true;
                ZRV_RETURN_IF_FAILED(ParseTyped(key.defaultValue));
            }
            if (Peek().kind == TokenKind::Open) {
                Next();
                ZRV_RETURN_IF_FAILED(ParseBlock(depth + 1, key.subkeys, key.values));
            }
            ZRV_RETURN_IF_FAILED(subkeys.push_back(std::move(key)));
        }
    }

    HRESULT ParseName(CString& name) noexcept {
        const Token& token = Next();
        if ((token.kind != TokenKind::Word && token.kind != TokenKind::Quoted) ||
            IsKeyword(token)) {
            return ScriptFault(token.line, L"expected a name");
        }
        ZRV_RETURN_IF_FAILED(Expand(token, name));
        if (name.IsEmpty()) return ScriptFault(token.line, L"empty name");
        return S_OK;
    }

    HRESULT ParseTyped(ScriptValue& value) noexcept {
        const Token& type = Next();
        if (type.kind != TokenKind::Word) return ScriptFault(type.line, L"expected a value type");
        if (!EqualsNoCase(type.text, L"s")) return ScriptFault(type.line, L"unknown value type");
        const Token& data = Next();
        if (data.kind != TokenKind::Quoted) return ScriptFault(data.line, L"expected quoted data");
        return Expand(data, value.text);
    }

    // %NAME% becomes the variable's value, %% one percent sign. Works on the
    // token's text, so a value never changes the script's structure.
    HRESULT Expand(const Token& token, CString& out) const noexcept {
        const CString& in = token.text;
        out.Empty();
        for (int i = 0; i < in.GetLength(); ++i) {
            if (in[i] != L'%') {
                ZRV_RETURN_IF_FAILED(out.Append(in[i]));
                continue;
            }
            const int close = in.Find(L'%', i + 1);
            if (close < 0) return ScriptFault(token.line, L"unpaired %");
            if (close == i + 1) {
                ZRV_RETURN_IF_FAILED(out.Append(L'%'));
            } else {
                const RegistryVariable* found = FindVariable(in.GetString() + i + 1, close - i - 1);
                if (!found) return ScriptFault(token.line, L"unknown variable");
                ZRV_RETURN_IF_FAILED(out.Append(found->value));
            }
            i = close;
        }
        return S_OK;
    }

    const RegistryVariable* FindVariable(const wchar_t* name, int length) const noexcept {
        for (size_t i = 0; i < m_variableCount; ++i) {
            if (CompareStringOrdinal(m_variables[i].name, -1, name, length, TRUE) == CSTR_EQUAL)
                return &m_variables[i];
        }
        return nullptr;
    }

    const nothrow_vector<Token>& m_tokens;
    const RegistryVariable* m_variables;
    size_t m_variableCount;
    size_t m_pos = 0;
};

// ---------------------------------------------------------------------------
// Carrying the tree out

HRESULT SetValue(HKEY key, const ScriptValue& value) noexcept {
    return SetRegistryString(key, value.name.IsEmpty() ? nullptr : value.name.GetString(),
                             value.text);
}

HRESULT RegisterKey(HKEY parent, const ScriptKey& item) noexcept {
    if (item.disposition == Disposition::ForceRemove) {
        ZRV_RETURN_IF_FAILED(DeleteRegistryTree(parent, item.name));
    }

    unique_hkey key;
    const LONG error = RegCreateKeyExW(parent, item.name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       kKeyAccess, nullptr, key.put(), nullptr);
    if (error != ERROR_SUCCESS) return FromWin32(error);

    if (item.hasDefault) ZRV_RETURN_IF_FAILED(SetValue(key.get(), item.defaultValue));
    for (const ScriptValue& value : item.values) ZRV_RETURN_IF_FAILED(SetValue(key.get(), value));
    for (const ScriptKey& subkey : item.subkeys)
        ZRV_RETURN_IF_FAILED(RegisterKey(key.get(), subkey));
    return S_OK;
}

HRESULT UnregisterKey(HKEY parent, const ScriptKey& item) noexcept {
    if (item.disposition == Disposition::ForceRemove) return DeleteRegistryTree(parent, item.name);

    unique_hkey key;
    LONG error = RegOpenKeyExW(parent, item.name, 0, kKeyAccess, key.put());
    if (error == ERROR_FILE_NOT_FOUND) return S_OK;
    if (error != ERROR_SUCCESS) return FromWin32(error);

    for (const ScriptValue& value : item.values) {
        error = RegDeleteValueW(key.get(), value.name);
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return FromWin32(error);
    }
    for (const ScriptKey& subkey : item.subkeys) {
        ZRV_RETURN_IF_FAILED(UnregisterKey(key.get(), subkey));
    }
    if (item.disposition == Disposition::NoRemove) return S_OK;

    DWORD subkeyCount = 0;
    error = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeyCount, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS) return FromWin32(error);
    key.reset();
    if (subkeyCount != 0) return S_OK;

    error = RegDeleteKeyW(parent, item.name);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return FromWin32(error);
    return S_OK;
}

// The script's bytes as UTF-16. NUL padding after the text is allowed; a NUL
// followed by more text means the resource is not what it should be.
HRESULT Decode(const char* text, size_t length, CString& out) noexcept {
    const void* nul = std::memchr(text, '\0', length);
    if (nul) {
        const size_t end = static_cast<size_t>(static_cast<const char*>(nul) - text);
        for (size_t i = end; i < length; ++i) {
            if (text[i] != '\0') return ScriptFault(0, L"NUL byte inside the script");
        }
        length = end;
    }
    if (length == 0) return S_OK;
    if (length > static_cast<size_t>(INT_MAX)) return E_INVALIDARG;

    const int count = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (count <= 0) return LastErrorResult();
    wchar_t* buffer = out.GetBufferSetLength(count);
    if (!buffer) return E_OUTOFMEMORY;
    if (MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), buffer, count) != count) {
        return LastErrorResult();
    }
    return out.ReleaseBuffer(count);
}

}  // namespace

HRESULT RunRegistryScript(const char* text, size_t length, bool doRegister,
                          const RegistryVariable* variables, size_t variableCount) noexcept {
    if (!text && length != 0) return E_POINTER;

    CString wide;
    if (length != 0) ZRV_RETURN_IF_FAILED(Decode(text, length, wide));

    nothrow_vector<Token> tokens;
    ZRV_RETURN_IF_FAILED(Tokenize(wide, tokens));
    nothrow_vector<ScriptKey> keys;
    ZRV_RETURN_IF_FAILED(Parser(tokens, variables, variableCount).ParseScript(keys));

    for (const ScriptKey& key : keys) {
        ZRV_RETURN_IF_FAILED(doRegister ? RegisterKey(HKEY_CLASSES_ROOT, key)
                                        : UnregisterKey(HKEY_CLASSES_ROOT, key));
    }
    return S_OK;
}

HRESULT RunRegistryScriptResource(HMODULE module, UINT id, bool doRegister,
                                  const RegistryVariable* variables,
                                  size_t variableCount) noexcept {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    if (!resource) return LastErrorResult();
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) return LastErrorResult();
    const void* bytes = LockResource(loaded);
    if (!bytes && size != 0) return E_FAIL;
    return RunRegistryScript(static_cast<const char*>(bytes), size, doRegister, variables,
                             variableCount);
}

}  // namespace zrv
