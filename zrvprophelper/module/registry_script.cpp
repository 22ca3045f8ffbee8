#include "registry_script.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "support/class_registration.h"
#include "support/handles.h"
#include "support/hresult.h"

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

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) noexcept {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

bool IsBlank(wchar_t c) noexcept { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// ---------------------------------------------------------------------------
// Tokens

enum class TokenKind { Word, Quoted, Open, Close, Equals, End };

struct Token {
    TokenKind kind;
    std::wstring text;  // Word: as written; Quoted: with '' already folded
    int line;
};

HRESULT Tokenize(const std::wstring& text, std::vector<Token>& tokens) {
    int line = 1;
    size_t i = 0;
    const size_t n = text.size();
    while (true) {
        while (i < n && IsBlank(text[i])) {
            if (text[i] == L'\n') ++line;
            ++i;
        }
        if (i == n) break;

        Token token{TokenKind::Word, std::wstring(), line};
        if (text[i] == L'\'') {
            token.kind = TokenKind::Quoted;
            for (++i;; ++i) {
                if (i == n) return ScriptFault(token.line, L"unterminated quoted text");
                if (text[i] == L'\'') {
                    if (i + 1 < n && text[i + 1] == L'\'') {
                        token.text += L'\'';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (text[i] == L'\n') ++line;
                token.text += text[i];
            }
            // Text glued to a closing quote is almost certainly a missing blank
            // or a stray quote; guessing would write the wrong name.
            if (i < n && !IsBlank(text[i])) return ScriptFault(line, L"text right after a quote");
        } else {
            const size_t start = i;
            while (i < n && !IsBlank(text[i])) {
                if (text[i] == L'\'') return ScriptFault(line, L"quote inside a bare word");
                ++i;
            }
            token.text.assign(text, start, i - start);
            if (token.text == L"{") {
                token.kind = TokenKind::Open;
            } else if (token.text == L"}") {
                token.kind = TokenKind::Close;
            } else if (token.text == L"=") {
                token.kind = TokenKind::Equals;
            }
        }
        tokens.push_back(std::move(token));
    }
    tokens.push_back(Token{TokenKind::End, std::wstring(), line});
    return S_OK;
}

// ---------------------------------------------------------------------------
// Script tree

enum class Disposition { Plain, NoRemove, ForceRemove };

// Every value is a string (REG_SZ).
struct ScriptValue {
    std::wstring name;  // empty for a key's default value
    std::wstring text;
};

struct ScriptKey {
    Disposition disposition = Disposition::Plain;
    std::wstring name;
    bool hasDefault = false;
    ScriptValue defaultValue;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> subkeys;
};

// ---------------------------------------------------------------------------
// Parser

class Parser {
  public:
    Parser(const std::vector<Token>& tokens, const std::vector<RegistryVariable>& variables)
        : m_tokens(tokens), m_variables(variables) {}

    // The keys of every root block, in order; the root is always HKCR.
    HRESULT ParseScript(std::vector<ScriptKey>& keys) {
        while (Peek().kind != TokenKind::End) {
            const Token& token = Next();
            if (token.kind != TokenKind::Word || !EqualsNoCase(token.text, L"HKCR")) {
                return ScriptFault(token.line, L"expected the root key HKCR");
            }
            ZRV_RETURN_IF_FAILED(Expect(TokenKind::Open, L"expected { after the root key"));
            std::vector<ScriptValue> values;
            ZRV_RETURN_IF_FAILED(ParseBlock(1, keys, values));
            if (!values.empty()) return ScriptFault(token.line, L"values on a root key");
        }
        return S_OK;
    }

  private:
    const Token& Peek() const { return m_tokens[m_pos]; }
    const Token& Next() {
        const Token& token = m_tokens[m_pos];
        if (token.kind != TokenKind::End) ++m_pos;
        return token;
    }
    HRESULT Expect(TokenKind kind, const wchar_t* what) {
        const Token& token = Next();
        return token.kind == kind ? S_OK : ScriptFault(token.line, what);
    }

    static bool IsKeyword(const Token& token) {
        return token.kind == TokenKind::Word &&
               (EqualsNoCase(token.text, L"val") || EqualsNoCase(token.text, L"NoRemove") ||
                EqualsNoCase(token.text, L"ForceRemove"));
    }

    // Items up to and including the closing brace of the block just opened.
    HRESULT ParseBlock(int depth, std::vector<ScriptKey>& subkeys,
                       std::vector<ScriptValue>& values) {
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
                        values.push_back(std::move(value));
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
            if (key.name.find(L'\\') != std::wstring::npos) {
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
            subkeys.push_back(std::move(key));
        }
    }

    HRESULT ParseName(std::wstring& name) {
        const Token& token = Next();
        if ((token.kind != TokenKind::Word && token.kind != TokenKind::Quoted) ||
            IsKeyword(token)) {
            return ScriptFault(token.line, L"expected a name");
        }
        ZRV_RETURN_IF_FAILED(Expand(token, name));
        if (name.empty()) return ScriptFault(token.line, L"empty name");
        return S_OK;
    }

    HRESULT ParseTyped(ScriptValue& value) {
        const Token& type = Next();
        if (type.kind != TokenKind::Word) return ScriptFault(type.line, L"expected a value type");
        if (!EqualsNoCase(type.text, L"s")) return ScriptFault(type.line, L"unknown value type");
        const Token& data = Next();
        if (data.kind != TokenKind::Quoted) return ScriptFault(data.line, L"expected quoted data");
        return Expand(data, value.text);
    }

    // %NAME% becomes the variable's value, %% one percent sign. Works on the
    // token's text, so a value never changes the script's structure.
    HRESULT Expand(const Token& token, std::wstring& out) const {
        const std::wstring& in = token.text;
        out.clear();
        for (size_t i = 0; i < in.size(); ++i) {
            if (in[i] != L'%') {
                out += in[i];
                continue;
            }
            const size_t close = in.find(L'%', i + 1);
            if (close == std::wstring::npos) return ScriptFault(token.line, L"unpaired %");
            if (close == i + 1) {
                out += L'%';
            } else {
                const std::wstring name(in, i + 1, close - i - 1);
                const RegistryVariable* found = nullptr;
                for (const RegistryVariable& variable : m_variables) {
                    if (EqualsNoCase(variable.name, name.c_str())) {
                        found = &variable;
                        break;
                    }
                }
                if (!found) return ScriptFault(token.line, L"unknown variable");
                out += found->value;
            }
            i = close;
        }
        return S_OK;
    }

    const std::vector<Token>& m_tokens;
    const std::vector<RegistryVariable>& m_variables;
    size_t m_pos = 0;
};

// ---------------------------------------------------------------------------
// Carrying the tree out

HRESULT SetValue(HKEY key, const ScriptValue& value) noexcept {
    return SetRegistryString(key, value.name.empty() ? nullptr : value.name.c_str(), value.text);
}

HRESULT RegisterKey(HKEY parent, const ScriptKey& item) noexcept {
    if (item.disposition == Disposition::ForceRemove) {
        ZRV_RETURN_IF_FAILED(DeleteRegistryTree(parent, item.name));
    }

    unique_hkey key;
    const LONG error =
        RegCreateKeyExW(parent, item.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kKeyAccess,
                        nullptr, key.put(), nullptr);
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
    LONG error = RegOpenKeyExW(parent, item.name.c_str(), 0, kKeyAccess, key.put());
    if (error == ERROR_FILE_NOT_FOUND) return S_OK;
    if (error != ERROR_SUCCESS) return FromWin32(error);

    for (const ScriptValue& value : item.values) {
        error = RegDeleteValueW(key.get(), value.name.c_str());
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

    error = RegDeleteKeyW(parent, item.name.c_str());
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return FromWin32(error);
    return S_OK;
}

// The script's bytes as UTF-16. NUL padding after the text is allowed; a NUL
// followed by more text means the resource is not what it should be.
HRESULT Decode(const char* text, size_t length, std::wstring& out) {
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
    out.resize(static_cast<size_t>(count));
    if (MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &out[0], count) != count) {
        return LastErrorResult();
    }
    return S_OK;
}

}  // namespace

HRESULT RunRegistryScript(const char* text, size_t length, bool doRegister,
                          const std::vector<RegistryVariable>& variables) noexcept try {
    if (!text && length != 0) return E_POINTER;

    std::wstring wide;
    if (length != 0) ZRV_RETURN_IF_FAILED(Decode(text, length, wide));

    std::vector<Token> tokens;
    ZRV_RETURN_IF_FAILED(Tokenize(wide, tokens));
    std::vector<ScriptKey> keys;
    ZRV_RETURN_IF_FAILED(Parser(tokens, variables).ParseScript(keys));

    for (const ScriptKey& key : keys) {
        ZRV_RETURN_IF_FAILED(doRegister ? RegisterKey(HKEY_CLASSES_ROOT, key)
                                        : UnregisterKey(HKEY_CLASSES_ROOT, key));
    }
    return S_OK;
}
ZRV_CATCH_RETURN()

HRESULT RunRegistryScriptResource(HMODULE module, UINT id, bool doRegister,
                                  const std::vector<RegistryVariable>& variables) noexcept {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    if (!resource) return LastErrorResult();
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) return LastErrorResult();
    const void* bytes = LockResource(loaded);
    if (!bytes && size != 0) return E_FAIL;
    return RunRegistryScript(static_cast<const char*>(bytes), size, doRegister, variables);
}

}  // namespace zrv
