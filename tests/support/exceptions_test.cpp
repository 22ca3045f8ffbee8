#include "support/exceptions.h"

#include <gtest/gtest.h>

namespace {

// An error-information object that only counts its references.
class CountingErrorInfo : public IErrorInfo {
  public:
    ULONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IErrorInfo)) {
            return E_NOINTERFACE;
        }
        *out = static_cast<IErrorInfo*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetGUID(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD*) override { return E_NOTIMPL; }
};

HRESULT CheckResult(int error) {
    try {
        AtlCrtErrorCheck(error);
    } catch (const CAtlException& e) {
        return e.m_hr;
    }
    return S_OK;
}

TEST(AtlCrtErrorCheck, MapsRuntimeErrorCodes) {
    EXPECT_EQ(S_OK, CheckResult(0));
    EXPECT_EQ(S_OK, CheckResult(80));  // truncation the caller asked for
    EXPECT_EQ(E_OUTOFMEMORY, CheckResult(12));
    EXPECT_EQ(E_INVALIDARG, CheckResult(22));
    EXPECT_EQ(E_INVALIDARG, CheckResult(34));
    for (int other : {-1, 1, 2, 13, 33, 42, 79, 81}) {
        EXPECT_EQ(E_FAIL, CheckResult(other)) << other;
    }
}

TEST(ComError, HoldsOneReferenceOnItsInfo) {
    CountingErrorInfo info;
    {
        // Without addRef the error takes over the raiser's reference.
        info.AddRef();
        _com_error adopted(E_FAIL, &info);
        EXPECT_EQ(2u, info.refs);
        EXPECT_EQ(E_FAIL, adopted.Error());

        _com_error added(E_ACCESSDENIED, &info, true);
        EXPECT_EQ(3u, info.refs);

        _com_error copy(added);
        EXPECT_EQ(4u, info.refs);
        EXPECT_EQ(E_ACCESSDENIED, copy.Error());

        _com_error assigned(S_FALSE);
        assigned = copy;
        EXPECT_EQ(5u, info.refs);
        assigned = assigned;
        EXPECT_EQ(5u, info.refs);
        assigned = _com_error(E_OUTOFMEMORY);
        EXPECT_EQ(4u, info.refs);
        EXPECT_EQ(nullptr, assigned.ErrorInfo());

        // The accessor hands the caller a reference of its own.
        IErrorInfo* got = copy.ErrorInfo();
        EXPECT_EQ(&info, got);
        EXPECT_EQ(5u, info.refs);
        got->Release();
    }
    EXPECT_EQ(1u, info.refs);
}

TEST(ComError, IssueErrorThrowsTheResult) {
    try {
        _com_issue_error(E_OUTOFMEMORY);
        FAIL() << "_com_issue_error returned";
    } catch (const _com_error& e) {
        EXPECT_EQ(E_OUTOFMEMORY, e.Error());
        EXPECT_EQ(nullptr, e.ErrorInfo());
    }
}

}  // namespace
