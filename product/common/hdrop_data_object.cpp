#include "hdrop_data_object.h"

#include <shlobj.h>

#include <cstring>
#include <new>
#include <utility>

#include "support/com_object.h"

namespace zrvproduct {

std::string BuildDropList(const std::vector<std::wstring>& paths) {
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof(header));
    for (const std::wstring& path : paths) {
        bytes.append(reinterpret_cast<const char*>(path.c_str()),
                     (path.size() + 1) * sizeof(wchar_t));
    }
    bytes.append(sizeof(wchar_t), '\0');
    return bytes;
}

namespace {

class MemoryDataObject final
    : public zrv::ComObject<MemoryDataObject, zrv::NoServerLock, IDataObject> {
  public:
    MemoryDataObject(CLIPFORMAT format, std::string bytes)
        : m_format(format), m_bytes(std::move(bytes)) {}

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        std::memset(medium, 0, sizeof(*medium));
        const HRESULT hr = QueryGetData(format);
        if (FAILED(hr) || hr == S_FALSE) return DV_E_FORMATETC;
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, m_bytes.empty() ? 1 : m_bytes.size());
        if (!memory) return E_OUTOFMEMORY;
        void* p = ::GlobalLock(memory);
        if (!m_bytes.empty()) std::memcpy(p, m_bytes.data(), m_bytes.size());
        ::GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        if (!format) return E_INVALIDARG;
        if (format->cfFormat != m_format) return DV_E_FORMATETC;
        if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        return S_OK;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC format = {m_format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return ::SHCreateStdEnumFmtEtc(1, &format, out);
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  private:
    friend ComObject;
    ~MemoryDataObject() = default;

    auto InterfaceTable() noexcept {
        return zrv::QiTable({{&IID_IDataObject, static_cast<IDataObject*>(this)}});
    }

    CLIPFORMAT m_format;
    std::string m_bytes;
};

}  // namespace

HRESULT CreateMemoryDataObject(CLIPFORMAT format, const std::string& bytes, IDataObject** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    try {
        *object = new MemoryDataObject(format, bytes);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace zrvproduct
