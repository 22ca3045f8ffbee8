#include "support/class_factory.h"

#include <oleidl.h>

#include <gtest/gtest.h>

#include "support/com_object.h"
#include "support/com_ptr.h"

using zrv::com_ptr;

namespace {

LONG g_locks = 0;
void Lock() noexcept { ++g_locks; }
void Unlock() noexcept { --g_locks; }

IUnknown* g_lastOuter = nullptr;
HRESULT RecordingCreator(IUnknown* outer, REFIID, void**) {
    g_lastOuter = outer;
    return S_FALSE;
}

// Two interfaces; the first row of the table is the identity.
class TwoFaces final : public IPersist, public IOleWindow {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        const zrv::QiEntry table[] = {
            {&IID_IPersist, static_cast<IPersist*>(this)},
            {&IID_IOleWindow, static_cast<IOleWindow*>(this)},
        };
        return zrv::QueryFromTable(table, iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    ULONG refs = 1;
};

TEST(QueryFromTableTest, IdentityRefusalAndOutPointer) {
    TwoFaces object;
    IOleWindow* window = &object;
    void* unknown = nullptr;
    ASSERT_EQ(S_OK, window->QueryInterface(IID_IUnknown, &unknown));
    EXPECT_EQ(static_cast<void*>(static_cast<IPersist*>(&object)), unknown)
        << "IUnknown is the first row's pointer, whichever interface is asked";
    void* other = nullptr;
    ASSERT_EQ(S_OK, object.QueryInterface(IID_IOleWindow, &other));
    EXPECT_EQ(static_cast<void*>(window), other);
    EXPECT_EQ(3u, object.refs) << "each answer takes one reference";

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, object.QueryInterface(IID_IDispatch, &none));
    EXPECT_EQ(nullptr, none) << "the out pointer is cleared on refusal";
    EXPECT_EQ(E_POINTER, object.QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(3u, object.refs);
}

TEST(ClassFactoryTest, ClientReferencesLockTheServerOnceOrNotAtAll) {
    g_locks = 0;
    zrv::ClassFactory locking(&RecordingCreator, {&Lock, &Unlock}, zrv::Aggregation::Refused,
                              zrv::ClientReferences::LockServer);
    IClassFactory* first = nullptr;
    ASSERT_EQ(S_OK, locking.QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&first)));
    EXPECT_EQ(1, g_locks);
    EXPECT_EQ(3u, first->AddRef());
    EXPECT_EQ(1, g_locks) << "further client references add no lock";
    first->Release();
    EXPECT_EQ(1, g_locks);
    EXPECT_EQ(1u, first->Release());
    EXPECT_EQ(0, g_locks) << "the owner's reference holds no lock";

    zrv::ClassFactory registered(&RecordingCreator, {&Lock, &Unlock}, zrv::Aggregation::Refused,
                                 zrv::ClientReferences::LockNothing);
    registered.AddRef();
    EXPECT_EQ(0, g_locks);
    registered.Release();
    EXPECT_EQ(S_OK, registered.LockServer(TRUE));
    EXPECT_EQ(1, g_locks) << "LockServer counts whatever references do";
    EXPECT_EQ(S_OK, registered.LockServer(FALSE));
    EXPECT_EQ(0, g_locks);
}

// A client that unlocks more often than it locked must not take a lock that
// live objects hold: the server would read as idle and unload under them. A
// lock taken through one class object of a server may be returned through
// another.
TEST(ClassFactoryTest, SurplusUnlockIsIgnored) {
    g_locks = 0;
    volatile LONG clientLocks = 0;
    zrv::ClassFactory first(&RecordingCreator, {&Lock, &Unlock, &clientLocks},
                            zrv::Aggregation::Refused, zrv::ClientReferences::LockNothing);
    zrv::ClassFactory second(&RecordingCreator, {&Lock, &Unlock, &clientLocks},
                             zrv::Aggregation::Refused, zrv::ClientReferences::LockNothing);
    Lock();  // a live object's
    EXPECT_EQ(S_OK, first.LockServer(FALSE));
    EXPECT_EQ(1, g_locks);
    EXPECT_EQ(S_OK, first.LockServer(TRUE));
    EXPECT_EQ(S_OK, second.LockServer(FALSE));
    EXPECT_EQ(S_OK, second.LockServer(FALSE));
    EXPECT_EQ(1, g_locks);
    Unlock();
}

TEST(ClassFactoryTest, AggregationRules) {
    TwoFaces outerObject;
    IUnknown* outer = static_cast<IPersist*>(&outerObject);
    zrv::ClassFactory refused(&RecordingCreator, {&Lock, &Unlock}, zrv::Aggregation::Refused,
                              zrv::ClientReferences::LockNothing);
    zrv::ClassFactory allowed(&RecordingCreator, {&Lock, &Unlock}, zrv::Aggregation::Allowed,
                              zrv::ClientReferences::LockNothing);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, refused.CreateInstance(outer, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, allowed.CreateInstance(outer, IID_IPersist, &object));
    EXPECT_EQ(E_POINTER, allowed.CreateInstance(nullptr, IID_IUnknown, nullptr));

    g_lastOuter = nullptr;
    EXPECT_EQ(S_FALSE, allowed.CreateInstance(outer, IID_IUnknown, &object));
    EXPECT_EQ(outer, g_lastOuter);
    EXPECT_EQ(S_FALSE, refused.CreateInstance(nullptr, IID_IPersist, &object))
        << "the creator's answer is the factory's";
}

// The object holds one lock for its whole life and says when it goes.
struct CountingLock {
    CountingLock() noexcept { Lock(); }
    ~CountingLock() { Unlock(); }
};

bool g_twoFacesDeleted = false;

class CountedTwoFaces final
    : public zrv::ComObject<CountedTwoFaces, CountingLock, IPersist, IOleWindow> {
  public:
    static CountedTwoFaces* New() { return new CountedTwoFaces(); }
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  private:
    friend ComObject;
    CountedTwoFaces() = default;
    ~CountedTwoFaces() { g_twoFacesDeleted = true; }
    auto InterfaceTable() noexcept {
        return zrv::QiTable({
            {&IID_IPersist, static_cast<IPersist*>(this)},
            {&IID_IOleWindow, static_cast<IOleWindow*>(this)},
        });
    }
};

TEST(ComObjectTest, CountsQueriesAndHoldsTheServerWhileAlive) {
    g_locks = 0;
    g_twoFacesDeleted = false;
    CountedTwoFaces* object = CountedTwoFaces::New();
    EXPECT_EQ(1, g_locks);
    IOleWindow* window = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)));
    EXPECT_EQ(static_cast<IOleWindow*>(object), window);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, window->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IPersist*>(object)), identity);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(IID_IDispatch, &none));
    EXPECT_EQ(nullptr, none);

    EXPECT_EQ(4u, window->AddRef()) << "through any interface, one count";
    EXPECT_EQ(3u, identity->Release());
    EXPECT_EQ(2u, window->Release());
    EXPECT_EQ(1u, object->Release());
    EXPECT_FALSE(g_twoFacesDeleted);
    EXPECT_EQ(1, g_locks);
    EXPECT_EQ(0u, window->Release());
    EXPECT_TRUE(g_twoFacesDeleted);
    EXPECT_EQ(0, g_locks) << "the lock goes with the object";
}

}  // namespace
