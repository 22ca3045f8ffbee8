#include "store_format.h"

#include <cstring>

namespace zrvstore {

namespace {

constexpr DWORD kReadOnlyFlag = 1;
constexpr DWORD kKnownProperties =
    0x1F | (DWORD{1} << kExpirationId) | (DWORD{1} << kReminderId) | (DWORD{1} << kBurnDiscId);

struct CrcTable {
    DWORD entries[256];
    CrcTable() noexcept {
        for (DWORD n = 0; n < 256; ++n) {
            DWORD c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
    }
};

class Writer {
  public:
    explicit Writer(std::string& out) : m_out(out) {}
    void U32(DWORD v) {
        for (int i = 0; i < 4; ++i) m_out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void U64(ULONGLONG v) {
        U32(static_cast<DWORD>(v));
        U32(static_cast<DWORD>(v >> 32));
    }
    void Text(const std::wstring& s) {
        U32(static_cast<DWORD>(s.size()));
        for (wchar_t c : s) {
            m_out.push_back(static_cast<char>(c & 0xFF));
            m_out.push_back(static_cast<char>((c >> 8) & 0xFF));
        }
    }

  private:
    std::string& m_out;
};

class Reader {
  public:
    Reader(const std::string& in, size_t offset) : m_in(in), m_pos(offset) {}
    bool U32(DWORD& v) {
        if (m_in.size() - m_pos < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= DWORD{static_cast<unsigned char>(m_in[m_pos + i])} << (8 * i);
        m_pos += 4;
        return true;
    }
    bool U64(ULONGLONG& v) {
        DWORD low = 0, high = 0;
        if (!U32(low) || !U32(high)) return false;
        v = (ULONGLONG{high} << 32) | low;
        return true;
    }
    bool Text(std::wstring& s, size_t maxChars) {
        DWORD length = 0;
        if (!U32(length) || length > maxChars) return false;
        if ((m_in.size() - m_pos) / 2 < length) return false;
        s.resize(length);
        for (DWORD i = 0; i < length; ++i) {
            const auto low = static_cast<unsigned char>(m_in[m_pos + 2 * i]);
            const auto high = static_cast<unsigned char>(m_in[m_pos + 2 * i + 1]);
            s[i] = static_cast<wchar_t>(low | (high << 8));
        }
        m_pos += 2 * size_t{length};
        return true;
    }
    bool AtEnd() const { return m_pos == m_in.size(); }

  private:
    const std::string& m_in;
    size_t m_pos;
};

bool ReadRecord(Reader& in, DocumentRecord& doc) {
    DWORD flags = 0;
    if (!in.U32(flags) || (flags & ~kReadOnlyFlag) != 0) return false;
    doc.readOnly = (flags & kReadOnlyFlag) != 0;
    if (!in.U32(doc.present) || (doc.present & ~kKnownProperties) != 0) return false;
    if (!in.Text(doc.path, kMaxPathChars) || doc.path.empty()) return false;
    for (std::wstring& text : doc.texts) {
        if (!in.Text(text, kMaxTextChars)) return false;
    }
    return in.U64(doc.expiration) && in.U32(doc.reminder) && in.U32(doc.burnDisc);
}

}  // namespace

DWORD Crc32(const void* data, size_t size, DWORD crc) noexcept {
    static const CrcTable table;
    const auto* bytes = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table.entries[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

HRESULT SerializeStore(const std::vector<DocumentRecord>& documents, std::string& bytes) {
    if (documents.size() > kMaxDocuments) return kStoreFull;
    bytes.assign(kStoreMagic, sizeof(kStoreMagic));
    Writer out(bytes);
    out.U32(kStoreVersion);
    out.U32(0);  // checksum, filled in below
    out.U32(static_cast<DWORD>(documents.size()));
    out.U32(0);
    for (const DocumentRecord& doc : documents) {
        // Oversized fields are refused before they reach a record, so a
        // record that breaks a limit here is a fault of the caller.
        if (doc.path.empty() || doc.path.size() > kMaxPathChars) return E_INVALIDARG;
        out.U32(doc.readOnly ? kReadOnlyFlag : 0);
        out.U32(doc.present & kKnownProperties);
        out.Text(doc.path);
        for (const std::wstring& text : doc.texts) {
            if (text.size() > kMaxTextChars) return E_INVALIDARG;
            out.Text(text);
        }
        out.U64(doc.expiration);
        out.U32(doc.reminder);
        out.U32(doc.burnDisc);
        if (bytes.size() > kMaxStoreBytes) return kStoreFull;
    }
    const DWORD crc = Crc32(bytes.data() + 16, bytes.size() - 16);
    for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    return S_OK;
}

HRESULT ParseStore(const std::string& bytes, std::vector<DocumentRecord>& documents) {
    documents.clear();
    if (bytes.size() < kStoreHeaderBytes || bytes.size() > kMaxStoreBytes) return kStoreDamaged;
    if (std::memcmp(bytes.data(), kStoreMagic, sizeof(kStoreMagic)) != 0) return kStoreDamaged;
    Reader header(bytes, sizeof(kStoreMagic));
    DWORD version = 0, crc = 0, count = 0, reserved = 0;
    header.U32(version);
    header.U32(crc);
    header.U32(count);
    header.U32(reserved);
    if (Crc32(bytes.data() + 16, bytes.size() - 16) != crc) return kStoreDamaged;
    // Only a file whose checksum holds can tell its version truthfully.
    if (version != kStoreVersion) return kStoreVersionMismatch;
    if (reserved != 0 || count > kMaxDocuments) return kStoreDamaged;

    Reader in(bytes, kStoreHeaderBytes);
    documents.resize(count);
    for (DocumentRecord& doc : documents) {
        if (!ReadRecord(in, doc)) {
            documents.clear();
            return kStoreDamaged;
        }
    }
    if (!in.AtEnd()) {
        documents.clear();
        return kStoreDamaged;
    }
    return S_OK;
}

}  // namespace zrvstore
