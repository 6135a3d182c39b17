// The running object table and the connections of outside users, which a disconnect cuts off.
#include "platform/com/rot.h"

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "platform/rpc/local_server.h"
#include "platform/rpc/registrations.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// Registrations are also published in the station's runtime folder (platform/rpc), so that other processes
// find active objects; the table below is this process's part of it.

namespace {

class Connection;

// What outside users hold on one object (keyed by its IUnknown identity): the single reference that keeps it
// alive while it has outside locks, strong registrations or a live connection.
struct StubManager {
    IUnknown* identity = nullptr;
    bool connected = true;
    bool held = false;
    int locks = 0;
    int strongRegistrations = 0;
    bool keepAfterUnlock = false;     // the last unlock asked not to release
    Connection* connection = nullptr; // the connection handed out, while it lives
};

struct ActiveObjectEntry {
    DWORD cookie;
    CLSID clsid;
    IUnknown* identity; // held through the object's StubManager when strong
    bool strong;
    bool connected; // false once the object was disconnected
};

// References the table gives up; released after the lock is dropped.
using ReleaseList = std::vector<IUnknown*>;

void ReleaseAll(const ReleaseList& released) {
    for (IUnknown* object : released) {
        object->Release();
    }
}

class RunningObjectTable {
public:
    static RunningObjectTable& Instance() {
        static auto* table = new RunningObjectTable; // never destroyed: objects may revoke during exit
        return *table;
    }

    std::mutex mutex;
    std::map<IUnknown*, std::shared_ptr<StubManager>> managers; // connected objects only
    std::vector<ActiveObjectEntry> entries;
    DWORD nextCookie = 1;

    // Called with the lock held.
    std::shared_ptr<StubManager> ManagerFor(IUnknown* identity) {
        auto& manager = managers[identity];
        if (!manager) {
            manager = std::make_shared<StubManager>();
            manager->identity = identity;
        }
        return manager;
    }

    // Called with the lock held.
    std::shared_ptr<StubManager> FindManager(IUnknown* identity) {
        auto found = managers.find(identity);
        return found == managers.end() ? nullptr : found->second;
    }

    // Takes or gives up the manager's reference after a change, and forgets a manager nobody needs.
    // Called with the lock held; the manager is passed by value so that forgetting it cannot destroy it here.
    void Settle(std::shared_ptr<StubManager> manager, ReleaseList& released) {
        bool needed = manager->connected && (manager->locks > 0 || manager->strongRegistrations > 0 ||
                                             manager->connection || manager->keepAfterUnlock);
        if (needed && !manager->held) {
            manager->identity->AddRef();
            manager->held = true;
        } else if (!needed && manager->held) {
            released.push_back(manager->identity);
            manager->held = false;
        }
        if (!needed && manager->connected) {
            managers.erase(manager->identity);
        }
    }

    // Cuts the manager off: its connection fails from now on and its reference goes.
    void Disconnect(const std::shared_ptr<StubManager>& manager, ReleaseList& released) {
        manager->connected = false;
        if (manager->held) {
            released.push_back(manager->identity);
            manager->held = false;
        }
        managers.erase(manager->identity);
    }
};

// The object as an outside user sees it: IUnknown, and IDispatch forwarded while the object is connected.
// Typed connections for other interfaces come with the proxies of the apartment work.
class Connection final : public IDispatch {
public:
    explicit Connection(std::shared_ptr<StubManager> manager) : manager_(std::move(manager)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid == IID_IUnknown) {
            AddRef();
            *ppv = static_cast<IUnknown*>(this);
            return S_OK;
        }
        if (riid != IID_IDispatch) {
            return E_NOINTERFACE;
        }
        vr::ComPtr<IDispatch> target;
        HRESULT hr = Target(target);
        if (FAILED(hr)) {
            return hr == RPC_E_DISCONNECTED ? CO_E_OBJNOTCONNECTED : hr;
        }
        AddRef();
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }

    // The count is guarded by the table's lock, so GetActiveObject can hand out a live connection again.
    ULONG AddRef() override {
        std::lock_guard lock(RunningObjectTable::Instance().mutex);
        return ++refs_;
    }
    ULONG Release() override {
        auto& table = RunningObjectTable::Instance();
        ReleaseList released;
        ULONG left;
        {
            std::lock_guard lock(table.mutex);
            left = --refs_;
            if (left == 0) {
                manager_->connection = nullptr;
                table.Settle(manager_, released);
            }
        }
        ReleaseAll(released);
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // Adds a reference for a caller that found this connection in its manager; called with the lock held.
    void AddRefLocked() { ++refs_; }

    HRESULT GetTypeInfoCount(UINT* count) override {
        vr::ComPtr<IDispatch> target;
        HRESULT hr = Target(target);
        return FAILED(hr) ? hr : target->GetTypeInfoCount(count);
    }
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        vr::ComPtr<IDispatch> target;
        HRESULT hr = Target(target);
        return FAILED(hr) ? hr : target->GetTypeInfo(index, lcid, info);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        vr::ComPtr<IDispatch> target;
        HRESULT hr = Target(target);
        return FAILED(hr) ? hr : target->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* argError) override {
        vr::ComPtr<IDispatch> target;
        HRESULT hr = Target(target);
        return FAILED(hr) ? hr : target->Invoke(id, riid, lcid, flags, params, result, excep, argError);
    }

private:
    ~Connection() = default;

    // The object's IDispatch for one call; the reference keeps the object alive through a disconnect that
    // happens while the call runs.
    HRESULT Target(vr::ComPtr<IDispatch>& target) {
        vr::ComPtr<IUnknown> identity;
        {
            std::lock_guard lock(RunningObjectTable::Instance().mutex);
            if (!manager_->connected) {
                return RPC_E_DISCONNECTED;
            }
            identity = manager_->identity;
        }
        return identity.As(&target);
    }

    std::shared_ptr<StubManager> manager_;
    ULONG refs_ = 1;
};

// The object's identity (its IUnknown), on which every table entry is keyed.
HRESULT IdentityOf(IUnknown* object, vr::ComPtr<IUnknown>& identity) {
    if (!object) {
        return E_INVALIDARG;
    }
    return object->QueryInterface(IID_IUnknown, identity.PutVoid());
}

bool ComUsable() {
    return vr::CurrentApartment() != vr::ApartmentKind::None;
}

} // namespace

HRESULT RegisterActiveObject(IUnknown* object, REFCLSID clsid, DWORD flags, DWORD* cookie) {
    if (!cookie) {
        return E_INVALIDARG;
    }
    *cookie = 0;
    if (!ComUsable()) {
        return CO_E_NOTINITIALIZED;
    }
    vr::ComPtr<IUnknown> identity;
    HRESULT hr = IdentityOf(object, identity);
    if (FAILED(hr)) {
        return hr;
    }
    bool strong = (flags & ACTIVEOBJECT_WEAK) == 0;
    auto& table = RunningObjectTable::Instance();
    ReleaseList released;
    {
        std::lock_guard lock(table.mutex);
        *cookie = table.nextCookie++;
        table.entries.push_back({*cookie, clsid, identity.Get(), strong, true});
        if (strong) {
            auto manager = table.ManagerFor(identity.Get());
            ++manager->strongRegistrations;
            table.Settle(manager, released);
        }
    }
    ReleaseAll(released);
    if (HRESULT hr = vr::rpc::detail::PublishActiveObject(object, clsid, *cookie); FAILED(hr)) {
        // Other processes cannot find it: the registration fails as a whole, and the caller has no cookie
        // to revoke.
        (void)RevokeActiveObject(std::exchange(*cookie, 0), nullptr); // it is there: revoking cannot fail
        return hr;
    }
    return S_OK;
}

HRESULT RevokeActiveObject(DWORD cookie, void* /*reserved*/) {
    auto& table = RunningObjectTable::Instance();
    ReleaseList released;
    {
        std::lock_guard lock(table.mutex);
        auto entry = std::find_if(table.entries.begin(), table.entries.end(),
                                  [cookie](const ActiveObjectEntry& e) { return e.cookie == cookie; });
        if (entry == table.entries.end()) {
            return E_INVALIDARG;
        }
        if (entry->strong && entry->connected) {
            if (auto manager = table.FindManager(entry->identity)) {
                --manager->strongRegistrations;
                table.Settle(manager, released);
            }
        }
        table.entries.erase(entry);
    }
    ReleaseAll(released);
    vr::rpc::detail::UnpublishActiveObject(cookie);
    return S_OK;
}

HRESULT GetActiveObject(REFCLSID clsid, void* /*reserved*/, IUnknown** object) {
    if (!object) {
        return E_INVALIDARG;
    }
    *object = nullptr;
    if (!ComUsable()) {
        return CO_E_NOTINITIALIZED;
    }
    auto& table = RunningObjectTable::Instance();
    ReleaseList released;
    bool elsewhere = false; // not registered here: perhaps by another process
    {
        std::lock_guard lock(table.mutex);
        auto entry =
            std::find_if(table.entries.begin(), table.entries.end(),
                         [&clsid](const ActiveObjectEntry& e) { return e.connected && e.clsid == clsid; });
        if (entry == table.entries.end()) {
            elsewhere = true;
        } else {
            auto manager = table.ManagerFor(entry->identity);
            if (manager->connection) {
                manager->connection->AddRefLocked();
            } else {
                manager->connection = new Connection(manager);
                table.Settle(manager, released);
            }
            *object = static_cast<IDispatch*>(manager->connection);
        }
    }
    ReleaseAll(released);
    return elsewhere ? vr::rpc::detail::GetActiveObjectElsewhere(clsid, object) : S_OK;
}

namespace vr {

bool ActiveObjectKnownAbsent(REFCLSID clsid) {
    auto& table = RunningObjectTable::Instance();
    {
        std::lock_guard lock(table.mutex);
        if (std::any_of(table.entries.begin(), table.entries.end(),
                        [&clsid](const ActiveObjectEntry& e) { return e.connected && e.clsid == clsid; })) {
            return false;
        }
    }
    return rpc::detail::KnownAbsentElsewhere(clsid);
}

} // namespace vr

HRESULT CoLockObjectExternal(IUnknown* object, BOOL lock, BOOL lastUnlockReleases) {
    if (lock && !ComUsable()) {
        return CO_E_NOTINITIALIZED;
    }
    vr::ComPtr<IUnknown> identity;
    HRESULT hr = IdentityOf(object, identity);
    if (FAILED(hr)) {
        return hr;
    }
    auto& table = RunningObjectTable::Instance();
    ReleaseList released;
    {
        std::lock_guard guard(table.mutex);
        if (lock) {
            auto manager = table.ManagerFor(identity.Get());
            ++manager->locks;
            manager->keepAfterUnlock = false;
            table.Settle(manager, released);
        } else if (auto manager = table.FindManager(identity.Get()); manager && manager->locks > 0) {
            if (--manager->locks == 0) {
                manager->keepAfterUnlock = !lastUnlockReleases;
            }
            table.Settle(manager, released);
        }
    }
    ReleaseAll(released);
    return S_OK;
}

HRESULT CoDisconnectObject(IUnknown* object, DWORD /*reserved*/) {
    vr::ComPtr<IUnknown> identity;
    HRESULT hr = IdentityOf(object, identity);
    if (FAILED(hr)) {
        return hr;
    }
    auto& table = RunningObjectTable::Instance();
    ReleaseList released;
    {
        std::lock_guard lock(table.mutex);
        if (auto manager = table.FindManager(identity.Get())) {
            table.Disconnect(manager, released);
        }
        for (auto& entry : table.entries) {
            if (entry.identity == identity.Get()) {
                entry.connected = false;
            }
        }
    }
    ReleaseAll(released);
    return S_OK;
}
