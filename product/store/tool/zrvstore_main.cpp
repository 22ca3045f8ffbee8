// zrvstore: reads and changes the document store from the command line.

#include <windows.h>

#include <string>
#include <vector>

#include "store/tool/commands.h"
#include "store/tool/console.h"

namespace {

const wchar_t kUsage[] =
    L"zrvstore - the document store of this user\n"
    L"\n"
    L"  zrvstore get <path> [<id>]         the document's properties, or one of them\n"
    L"  zrvstore set <path> <id> <value>   changes one property at once\n"
    L"  zrvstore readonly <path> on|off    marks the document (not) editable\n"
    L"  zrvstore list                      every stored document\n"
    L"  zrvstore journal [clear]           the call journal, or empty it\n"
    L"  zrvstore where                     the store and journal files\n"
    L"\n"
    L"Ids (or names): 0 title, 1 subject, 2 author, 3 categories, 4 comments (texts);\n"
    L"17 expiration (UTC \"YYYY-MM-DD HH:MM:SS\", \"YYYY-MM-DD\", a raw FILETIME number,\n"
    L"or 0 for none); 18 reminder, 19 burn (numbers). `get` with one id prints the bare\n"
    L"value: the text; for 17 the date and the raw number (\"none 0\" when unset).\n"
    L"`set` writes even a document marked read-only; the mark only keeps the\n"
    L"document's COM clients from changing it.\n"
    L"\n"
    L"Store: %APPDATA%\\Lumatrel\\DocumentStore\\documents.store, or the file that the\n"
    L"environment variable ZRV_DOCUMENT_STORE names. Limits: document paths of 32767\n"
    L"characters, a store file path of 32752, texts of 65535 characters, 65536\n"
    L"documents, a 64 MiB file. A \\\\?\\ path and its plain form name one document.\n"
    L"\n"
    L"Journal: the store's name with \".journal\", UTF-8, one line per call of a COM\n"
    L"client: \"SetStringProperty <id> <path>\", \"SetProperty <id> <path>\",\n"
    L"\"SaveDocument <path>\", \"UpdateDocument <path>\" (\"<none>\" for no path).\n"
    L"Every call is recorded, also a failed one; this tool's own writes are not.\n"
    L"\n"
    L"Exit codes: 0 done, 1 failed, 2 bad command line, 3 the store file is damaged\n"
    L"or of another version (it is left untouched).\n";

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == L"help" || args[0] == L"-h" || args[0] == L"--help" ||
        args[0] == L"/?") {
        zrvstore::tool::Print(kUsage);
        return args.empty() ? zrvstore::tool::kExitUsage : zrvstore::tool::kExitOk;
    }
    try {
        return zrvstore::tool::RunCommand(args);
    } catch (...) {
        zrvstore::tool::PrintError(L"zrvstore: out of memory\n");
        return zrvstore::tool::kExitFailed;
    }
}
