#pragma once
// The one class object of every server: it makes objects through a creator
// function and keeps its server's lock count honest.

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

namespace zrv {

// Creates an object of one class: plain when outer is null, aggregated
// otherwise (only for classes that allow it; iid is then IUnknown).
using ObjectCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

// The creator of a class that refuses aggregation, from its Create(iid,
// object): the class object has refused any outer object before.
template <HRESULT (*Create)(REFIID iid, void** object)>
HRESULT PlainCreator(IUnknown*, REFIID iid, void** object) {
    return Create(iid, object);
}

// The lock count of one server: what DllCanUnloadNow reports, or what keeps
// a local server running.
// clientLocks counts the LockServer(TRUE) locks not yet returned, shared by
// all of a server's class objects; null where the server has one class object,
// which then counts them itself.
struct ServerLockFunctions {
    void (*lock)() noexcept;
    void (*unlock)() noexcept;
    volatile LONG* clientLocks = nullptr;
};

enum class Aggregation { Refused, Allowed };

// Whether a client's reference on the class object keeps the server loaded.
// Not where the reference that holds the class object registered belongs to
// the system (CoRegisterClassObject) and must not keep a process running,
// nor where hosts expect only LockServer to count.
enum class ClientReferences { LockServer, LockNothing };

class ClassFactory final : public IClassFactory {
  public:
    // A class object born with one reference, its owner's, which never
    // locks the server. A static class object keeps it for the life of the
    // image; one made by New is destroyed when its owner's release is the
    // last.
    constexpr ClassFactory(ObjectCreator creator, ServerLockFunctions server,
                           Aggregation aggregation, ClientReferences clientReferences) noexcept
        : ClassFactory(creator, server, aggregation, clientReferences, false) {}
    static ClassFactory* New(ObjectCreator creator, ServerLockFunctions server,
                             Aggregation aggregation, ClientReferences clientReferences) noexcept;

    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;
    ~ClassFactory() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // E_POINTER without an out pointer; CLASS_E_NOAGGREGATION for an outer
    // object the class refuses, or one that asks for more than IUnknown.
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    // An unlock beyond the locks clients took is ignored (still S_OK): it
    // would spend a lock that live objects hold.
    STDMETHODIMP LockServer(BOOL lock) override;

  private:
    constexpr ClassFactory(ObjectCreator creator, ServerLockFunctions server,
                           Aggregation aggregation, ClientReferences clientReferences,
                           bool onHeap) noexcept
        : m_creator(creator),
          m_server(server),
          m_aggregation(aggregation),
          m_clientReferences(clientReferences),
          m_onHeap(onHeap) {}

    volatile LONG m_refs = 1;
    volatile LONG m_clientLocks = 0;  // used when the server shares no count
    const ObjectCreator m_creator;
    const ServerLockFunctions m_server;
    const Aggregation m_aggregation;
    const ClientReferences m_clientReferences;
    const bool m_onHeap;
};

// A server's classes and their class objects, for DllGetClassObject.
struct ClassEntry {
    const CLSID* clsid;
    ClassFactory* factory;
};

// What DllGetClassObject answers from such a table.
template <std::size_t N>
HRESULT GetClassObject(const ClassEntry (&table)[N], REFCLSID clsid, REFIID iid,
                       void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const ClassEntry& entry : table) {
        if (*entry.clsid == clsid) return entry.factory->QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace zrv
