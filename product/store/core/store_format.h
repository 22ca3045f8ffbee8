#pragma once
// The store file: a header and one record per document, little-endian.
//
//   offset  size  field
//        0     8  magic "ZRVSTORE"
//        8     4  format version, 1
//       12     4  CRC-32 (the zlib polynomial) of every byte from offset 16 on
//       16     4  number of documents
//       20     4  reserved, 0
//       24        the documents, each:
//                   4  flags: bit 0 = read-only, other bits 0
//                   4  properties ever set: bit n for property id n
//                   4  path length in UTF-16 units, then the path
//                   5 x (4 length in UTF-16 units, then the text): ids 0 to 4
//                   8  id 17, a FILETIME; 4 id 18; 4 id 19
//
// The file ends with the last document. Anything else (a short or long file,
// a wrong checksum, a length past a limit) makes the whole file damaged.

#include <windows.h>

#include <string>
#include <vector>

#include "store/core/document_record.h"

namespace zrvstore {

constexpr char kStoreMagic[8] = {'Z', 'R', 'V', 'S', 'T', 'O', 'R', 'E'};
constexpr DWORD kStoreVersion = 1;
constexpr size_t kStoreHeaderBytes = 24;

// The store file is damaged: it is reported, never repaired or replaced.
const HRESULT kStoreDamaged = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
// The file was written by another version of the store.
const HRESULT kStoreVersionMismatch = HRESULT_FROM_WIN32(ERROR_REVISION_MISMATCH);
// A write would take the store past kMaxDocuments or kMaxStoreBytes.
const HRESULT kStoreFull = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
// A document path longer than kMaxPathChars.
const HRESULT kPathTooLong = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

DWORD Crc32(const void* data, size_t size, DWORD crc = 0) noexcept;

HRESULT SerializeStore(const std::vector<DocumentRecord>& documents, std::string& bytes);
HRESULT ParseStore(const std::string& bytes, std::vector<DocumentRecord>& documents);

}  // namespace zrvstore
