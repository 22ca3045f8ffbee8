// The class objects, the handlers' COM identity and the module lock count,
// exercised through the real DLL's exports.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/module_loader.h"
#include "module/ids.h"
#include "support/com_ptr.h"

using zrv::com_ptr;
using zrvtest::LoadedModule;

namespace {

BOOL CALLBACK AcceptPage(HPROPSHEETPAGE, LPARAM) { return TRUE; }

const CLSID* const kHandlers[] = {&CLSID_ZRVPropPage_Summary, &CLSID_ZRVPropPage_Category,
                                  &CLSID_ZRVPropPage_LifeCycle};

// An outer object that counts what the inner object hands on to it.
class CountingOuter : public IUnknown {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        ++queries;
        lastQuery = iid;
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    int queries = 0;
    IID lastQuery = IID_NULL;
};

class ClassObjectTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(module.ok()); }

    com_ptr<IClassFactory> Factory(const CLSID& clsid) {
        com_ptr<IClassFactory> factory;
        EXPECT_EQ(S_OK, module.getClassObject(clsid, IID_IClassFactory, factory.put_void()));
        return factory;
    }

    LoadedModule module;
};

TEST_F(ClassObjectTest, ExportsRefuseUnknownClassesAndNullPointers) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              module.getClassObject(IID_IUnknown, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER,
              module.getClassObject(CLSID_ZRVPropPage_Summary, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, module.canUnloadNow());
}

TEST_F(ClassObjectTest, ClassObjectIsKeptAndLocksOnceWhileClientsHoldIt) {
    for (const CLSID* clsid : kHandlers) {
        com_ptr<IClassFactory> first = Factory(*clsid);
        ASSERT_TRUE(first);
        EXPECT_EQ(S_FALSE, module.canUnloadNow());
        com_ptr<IClassFactory> second = Factory(*clsid);
        EXPECT_EQ(first.get(), second.get()) << "one class object per class";
        com_ptr<IUnknown> unknown;
        EXPECT_EQ(S_OK, first.query(IID_IUnknown, unknown));
        second.reset();
        unknown.reset();
        EXPECT_EQ(S_FALSE, module.canUnloadNow());
        first.reset();
        EXPECT_EQ(S_OK, module.canUnloadNow()) << "the map's own reference holds no lock";
    }
    com_ptr<IUnknown> notAFactory;
    EXPECT_EQ(E_NOINTERFACE, module.getClassObject(CLSID_ZRVPropPage_Summary, IID_IDispatch,
                                                   notAFactory.put_void()));
    EXPECT_EQ(S_OK, module.canUnloadNow());
}

// A host may ask for class objects and whether the module can go from any
// thread: no thread that holds a class object may ever be told S_OK.
TEST_F(ClassObjectTest, HeldClassObjectLocksTheModuleWhileOtherThreadsComeAndGo) {
    std::atomic<int> unlockedWhileHeld{0};
    std::atomic<int> ready{0};
    auto hammer = [&] {
        for (++ready; ready < 4;) ::Sleep(0);
        for (int i = 0; i < 50000; ++i) {
            com_ptr<IClassFactory> factory;
            if (FAILED(module.getClassObject(CLSID_ZRVPropPage_Summary, IID_IClassFactory,
                                             factory.put_void()))) {
                continue;
            }
            if (module.canUnloadNow() != S_FALSE) ++unlockedWhileHeld;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back(hammer);
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, unlockedWhileHeld.load());
    EXPECT_EQ(S_OK, module.canUnloadNow());
}

TEST_F(ClassObjectTest, LockServerCountsUntilMatched) {
    com_ptr<IClassFactory> factory = Factory(CLSID_ZRVPropPage_Category);
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.reset();
    EXPECT_EQ(S_FALSE, module.canUnloadNow());
    factory = Factory(CLSID_ZRVPropPage_Category);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.reset();
    EXPECT_EQ(S_OK, module.canUnloadNow());
}

TEST_F(ClassObjectTest, CreateInstanceRules) {
    for (const CLSID* clsid : kHandlers) {
        com_ptr<IClassFactory> factory = Factory(*clsid);
        ASSERT_TRUE(factory);
        EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IShellExtInit, nullptr));

        CountingOuter outer;
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CLASS_E_NOAGGREGATION,
                  factory->CreateInstance(&outer, IID_IShellExtInit, &object));
        EXPECT_EQ(nullptr, object) << "the out pointer is cleared first";

        object = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, &object));
        EXPECT_EQ(nullptr, object);

        com_ptr<IShellExtInit> init;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()));
        factory.reset();
        EXPECT_EQ(S_FALSE, module.canUnloadNow()) << "a live handler locks the module";
        init.reset();
        EXPECT_EQ(S_OK, module.canUnloadNow()) << "a failed creation left nothing behind";
    }
}

TEST_F(ClassObjectTest, HandlerIdentityAndInterfaces) {
    com_ptr<IClassFactory> factory = Factory(CLSID_ZRVPropPage_LifeCycle);
    com_ptr<IUnknown> unknown;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, unknown.put_void()));
    com_ptr<IShellExtInit> init;
    com_ptr<IShellPropSheetExt> sheet;
    ASSERT_EQ(S_OK, unknown.query(IID_IShellExtInit, init));
    ASSERT_EQ(S_OK, unknown.query(IID_IShellPropSheetExt, sheet));
    com_ptr<IUnknown> fromSheet;
    ASSERT_EQ(S_OK, sheet.query(IID_IUnknown, fromSheet));
    EXPECT_EQ(static_cast<IUnknown*>(init.get()), fromSheet.get());
    EXPECT_EQ(unknown.get(), fromSheet.get()) << "IUnknown is the IShellExtInit pointer";
    com_ptr<IUnknown> other;
    EXPECT_EQ(E_NOINTERFACE, unknown.query(IID_IDispatch, other));
    EXPECT_EQ(E_NOINTERFACE, unknown.query(IID_IPersistFile, other));

    // Without an Initialize there is no page to hand the calls to.
    EXPECT_EQ(E_FAIL, sheet->AddPages(&AcceptPage, 0));
    EXPECT_EQ(E_FAIL, sheet->ReplacePage(0, nullptr, 0));
}

TEST_F(ClassObjectTest, AggregatedHandlerDelegatesToItsOuterObject) {
    com_ptr<IClassFactory> factory = Factory(CLSID_ZRVPropPage_Summary);
    CountingOuter outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    ASSERT_NE(nullptr, inner);

    IUnknown* innerAgain = nullptr;
    EXPECT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)));
    EXPECT_EQ(inner, innerAgain) << "the inner object answers IUnknown itself";
    innerAgain->Release();

    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    EXPECT_NE(static_cast<void*>(inner), static_cast<void*>(init));
    EXPECT_EQ(2u, outer.refs) << "references on an inner interface go to the outer object";

    IUnknown* viaInit = nullptr;
    EXPECT_EQ(E_NOINTERFACE,
              init->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&viaInit)));
    EXPECT_EQ(1, outer.queries);
    EXPECT_TRUE(IsEqualIID(IID_IShellPropSheetExt, outer.lastQuery));
    init->Release();
    EXPECT_EQ(1u, outer.refs);

    EXPECT_EQ(S_FALSE, module.canUnloadNow());
    EXPECT_EQ(0u, inner->Release());
    factory.reset();
    EXPECT_EQ(S_OK, module.canUnloadNow());
}

}  // namespace
