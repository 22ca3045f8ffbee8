#include "commands.h"

#include <windows.h>

#include "store/core/document_store.h"
#include "store/core/store_format.h"
#include "store/core/store_journal.h"
#include "store/core/store_lock.h"
#include "store/core/store_paths.h"
#include "store/tool/console.h"
#include "store/tool/filetime_text.h"

namespace zrvstore::tool {

namespace {

struct PropertyName {
    int id;
    const wchar_t* name;
};

const PropertyName kProperties[] = {
    {0, L"title"},    {1, L"subject"},     {2, L"author"},    {3, L"categories"},
    {4, L"comments"}, {17, L"expiration"}, {18, L"reminder"}, {19, L"burn"},
};

bool ParseId(const std::wstring& text, int& id) {
    for (const PropertyName& p : kProperties) {
        if (text == p.name || text == std::to_wstring(p.id)) {
            id = p.id;
            return true;
        }
    }
    return false;
}

std::wstring ErrorText(HRESULT hr) {
    wchar_t* message = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text = message ? message : L"";
    if (message) ::LocalFree(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    wchar_t code[16] = {};
    ::wsprintfW(code, L"0x%08lX", static_cast<unsigned long>(hr));
    return text.empty() ? code : text + L" (" + code + L")";
}

int Fail(const DocumentStore& store, HRESULT hr, const std::wstring& what,
         size_t pathLimit = kMaxPathChars) {
    if (hr == kStoreDamaged || hr == kStoreVersionMismatch) {
        PrintError(L"zrvstore: the store file " + store.File() +
                   (hr == kStoreDamaged ? L" is damaged" : L" was written by another version") +
                   L"; it was left untouched.\n");
        return kExitDamaged;
    }
    std::wstring reason = ErrorText(hr);
    if (hr == kStoreFull)
        reason = L"the store would pass its limits (65536 documents, 64 MiB)";
    else if (hr == kStoreBusy)
        reason = L"another program is using the store; try again";
    else if (hr == kPathTooLong)
        reason = L"the path is longer than " + std::to_wstring(pathLimit) + L" characters";
    PrintError(L"zrvstore: " + what + L": " + reason + L"\n");
    return kExitFailed;
}

int Usage(const std::wstring& message) {
    PrintError(L"zrvstore: " + message + L" (zrvstore help shows the commands)\n");
    return kExitUsage;
}

std::wstring ValueText(const DocumentRecord& doc, int id) {
    if (IsTextProperty(id)) return doc.texts[id];
    if (id == kExpirationId) return FormatExpiration(doc.expiration);
    return std::to_wstring(doc.Value(id));
}

int Get(DocumentStore& store, const std::vector<std::wstring>& args) {
    if (args.size() < 2 || args.size() > 3) return Usage(L"get wants <path> [<id>]");
    int id = -1;
    if (args.size() == 3 && !ParseId(args[2], id)) return Usage(L"unknown property " + args[2]);
    std::wstring path;
    HRESULT hr = NormalizeDocumentPath(args[1].c_str(), path);
    if (FAILED(hr)) return Fail(store, hr, L"bad path " + args[1]);
    DocumentRecord doc;
    bool found = false;
    hr = store.Find(path, doc, found);
    if (FAILED(hr)) return Fail(store, hr, L"cannot read the store");

    if (id >= 0) {
        Print(ValueText(doc, id) + L"\n");
        return kExitOk;
    }
    std::wstring out = found ? doc.path : path;
    out += L"\nstored: ";
    out += found ? L"yes" : L"no";
    out += L"\nread-only: ";
    out += doc.readOnly ? L"yes" : L"no";
    out += L"\n";
    for (const PropertyName& p : kProperties) {
        out += std::to_wstring(p.id) + L" " + p.name + L": ";
        out += doc.Has(p.id) ? ValueText(doc, p.id) : L"(not set)";
        out += L"\n";
    }
    Print(out);
    return kExitOk;
}

int Commit(DocumentStore& store, const std::wstring& pathArg, const DocumentChanges& changes) {
    std::wstring path;
    HRESULT hr = NormalizeDocumentPath(pathArg.c_str(), path);
    if (FAILED(hr)) return Fail(store, hr, L"bad path " + pathArg);
    hr = store.Commit(path, changes, DocumentStore::ReadOnlyRule::Ignore);
    return FAILED(hr) ? Fail(store, hr, L"cannot save " + path) : kExitOk;
}

int Set(DocumentStore& store, const std::vector<std::wstring>& args) {
    if (args.size() < 4) return Usage(L"set wants <path> <id> <value>");
    int id = -1;
    if (!ParseId(args[2], id)) return Usage(L"unknown property " + args[2]);
    // A date and a time given as two words.
    std::wstring value = args[3];
    for (size_t i = 4; i < args.size(); ++i) value += L" " + args[i];
    if (args.size() > 4 && id != kExpirationId) return Usage(L"quote a text with spaces");

    DocumentChanges changes;
    if (IsTextProperty(id)) {
        if (value.size() > kMaxTextChars) return Usage(L"texts hold at most 65535 characters");
        changes.properties.SetText(id, value);
    } else {
        ULONGLONG number = 0;
        const bool ok = id == kExpirationId ? ParseExpiration(value, number)
                                            : ParseUnsigned(value, 0xFFFFFFFFull, number);
        if (!ok) return Usage(L"bad value " + value + L" for property " + args[2]);
        changes.properties.SetValue(id, number);
    }
    return Commit(store, args[1], changes);
}

int ReadOnly(DocumentStore& store, const std::vector<std::wstring>& args) {
    if (args.size() != 3 || (args[2] != L"on" && args[2] != L"off"))
        return Usage(L"readonly wants <path> on|off");
    DocumentChanges changes;
    changes.changeReadOnly = true;
    changes.readOnly = args[2] == L"on";
    return Commit(store, args[1], changes);
}

int List(DocumentStore& store, const std::vector<std::wstring>& args) {
    if (args.size() != 1) return Usage(L"list takes no arguments");
    std::vector<DocumentRecord> documents;
    const HRESULT hr = store.ReadAll(documents);
    if (FAILED(hr)) return Fail(store, hr, L"cannot read the store");
    std::wstring out;
    for (const DocumentRecord& doc : documents)
        out += doc.path + (doc.readOnly ? L"  [read-only]\n" : L"\n");
    Print(out);
    return kExitOk;
}

int Journal(DocumentStore& store, const std::vector<std::wstring>& args) {
    const StoreJournal journal(store.File());
    if (args.size() == 2 && args[1] == L"clear") {
        const HRESULT hr = journal.Clear();
        return FAILED(hr) ? Fail(store, hr, L"cannot clear " + journal.File()) : kExitOk;
    }
    if (args.size() != 1) return Usage(L"journal takes nothing or \"clear\"");
    std::string text;
    const HRESULT hr = journal.Read(text);
    if (FAILED(hr)) return Fail(store, hr, L"cannot read " + journal.File());
    PrintUtf8(text);
    return kExitOk;
}

int Where(DocumentStore& store, const std::vector<std::wstring>& args) {
    if (args.size() != 1) return Usage(L"where takes no arguments");
    Print(L"store: " + store.File() + L"\njournal: " + StoreJournal(store.File()).File() + L"\n");
    return kExitOk;
}

}  // namespace

int RunCommand(const std::vector<std::wstring>& args) {
    using Command = int (*)(DocumentStore&, const std::vector<std::wstring>&);
    struct Entry {
        const wchar_t* name;
        Command run;
    };
    const Entry commands[] = {{L"get", Get},   {L"set", Set},         {L"readonly", ReadOnly},
                              {L"list", List}, {L"journal", Journal}, {L"where", Where}};
    for (const Entry& command : commands) {
        if (args[0] != command.name) continue;
        DocumentStore store;
        const HRESULT hr = store.Initialize();
        if (FAILED(hr)) return Fail(store, hr, L"cannot find the store file", kMaxStoreFileChars);
        return command.run(store, args);
    }
    return Usage(L"unknown command " + args[0]);
}

}  // namespace zrvstore::tool
