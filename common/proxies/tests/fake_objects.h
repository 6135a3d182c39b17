// Small objects of the hardware manager's, connection's and test engine's interfaces, with the dispatch
// tables their servers declare: the far side of the typed-proxy tests.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "TestRunTime/Corvant/include/corvant.h"
#include "platform/com/comptr.h"

#include <map>
#include <string>

namespace proxytest {

// The class the proxy_server program serves (a fake hardware manager per client).
inline constexpr CLSID CLSID_FakeRigmontServer = vr::MakeGuid("A7E1C1B4-3F0D-4C55-9E6A-2B8D0F4C1E93");

// A connection that echoes what it is asked and remembers its last timeout.
vr::ComPtr<IVrConnection> MakeFakeConnection();

// A hardware manager whose records live in a map; CreateConnection makes fake connections and fails for an
// unknown record with E_INVALIDARG and rich error information (description "no record '<name>'").
vr::ComPtr<IVrRigmont> MakeFakeRigmont();

// A test engine with specifications, options and an output queue.
vr::ComPtr<IVrTestEngine> MakeFakeEngine();

} // namespace proxytest
