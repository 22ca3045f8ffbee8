#include "fake_localizer.h"

#include "localization/map_fixture.h"
#include "localization/registrations.h"

namespace zrvtest {

namespace {

HRESULT Answer(const std::map<std::wstring, FakeAnswer>& answers, const std::wstring& key,
               BSTR* text) {
    *text = nullptr;
    auto it = answers.find(key);
    if (it == answers.end()) return E_FAIL;
    if (SUCCEEDED(it->second.hr) && !it->second.isNull) {
        *text =
            ::SysAllocStringLen(it->second.text.data(), static_cast<UINT>(it->second.text.size()));
    }
    return it->second.hr;
}

std::wstring Text(BSTR s) { return s ? std::wstring(s, ::SysStringLen(s)) : L"<null>"; }

}  // namespace

STDMETHODIMP FakeLocalizer::QueryInterface(REFIID iid, void** object) {
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_IAppLocalizer) {
        return E_NOINTERFACE;
    }
    *object = static_cast<IAppLocalizer*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP FakeLocalizer::GetModuleString(BSTR module, BSTR id, BSTR defaultText, BSTR* text) {
    calls.push_back(Text(module) + L"|string|" + Text(id) + L"|" + Text(defaultText));
    return Answer(answers, L"string|" + Text(id), text);
}

STDMETHODIMP FakeLocalizer::GetDialogString(BSTR module, BSTR dialogId, BSTR key, BSTR defaultText,
                                            BSTR* text) {
    calls.push_back(Text(module) + L"|" + Text(dialogId) + L"|" + Text(key) + L"|" +
                    Text(defaultText));
    return Answer(answers, Text(dialogId) + L"|" + Text(key), text);
}

FakeRegistration::FakeRegistration(FakeLocalizer& fake) {
    MapView map;
    if (!map.ok()) return;
    m_slot = map.Append(::GetCurrentProcessId(), ::GetCurrentThreadId(), 1, Pointer(&fake));
    if (m_slot >= 0) VouchForThreadEntry(m_slot, Pointer(&fake));
}

FakeRegistration::~FakeRegistration() {
    MapView map;
    if (map.ok() && m_slot >= 0) map.Clear(m_slot);
}

}  // namespace zrvtest
