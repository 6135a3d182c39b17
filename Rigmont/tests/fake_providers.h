// Stand-in connection and socket providers for the manager's tests: registered as in-process classes of this
// test process under ProgIDs of their own, they record what the manager asks of them.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "platform/com/comptr.h"

#include <string>
#include <vector>

namespace rigmonttest {

inline constexpr CLSID CLSID_FakeConnection = vr::MakeGuid("5B0C3C1E-2A7E-4C52-9E0B-6E0F1B7A1101");
inline constexpr CLSID CLSID_FakeSocket = vr::MakeGuid("5B0C3C1E-2A7E-4C52-9E0B-6E0F1B7A1102");
inline constexpr const char16_t* kFakeConnectionProgId = u"RigmontTest.Connection";
inline constexpr const char16_t* kFakeSocketProgId = u"RigmontTest.Socket";

// What a connection's Init received.
struct ConnectionInit {
    std::u16string resource;
    std::u16string setup;
    int32_t timeout = 0;
    VrAccessMode mode = _EXCLUSIVE_LOCK;
};

// What a socket's Init received; connection is the object that came in the VARIANT (VT_UNKNOWN expected).
struct SocketInit {
    std::u16string setup;
    VARTYPE connectionType = VT_EMPTY;
    vr::ComPtr<IVrConnection> connection;
};

// The providers' shared record and behaviour. Threads: the tests' own thread only.
struct FakeProviders {
    static std::vector<ConnectionInit> connectionInits;
    static std::vector<SocketInit> socketInits;
    static std::vector<std::u16string> findExpressions;
    static HRESULT connectionInitResult;
    static HRESULT socketInitResult;
    static int liveConnections;
    static int liveSockets;

    static void Reset();
    // The setup string a connection Init received, for the connection of the given resource.
    static std::u16string SetupOf(IVrConnection* connection);
};

// Registers both classes in this process (class objects) and their ProgIDs in the registry, and registers
// the fake connection under CLSID_CnVISA's ProgID "Vornic.CnVISA" too, so that the manager's default
// provider is the fake. Revokes the class objects when destroyed.
class FakeProviderRegistration {
public:
    FakeProviderRegistration();
    FakeProviderRegistration(const FakeProviderRegistration&) = delete;
    FakeProviderRegistration& operator=(const FakeProviderRegistration&) = delete;
    ~FakeProviderRegistration();

private:
    std::vector<DWORD> cookies_;
};

} // namespace rigmonttest
