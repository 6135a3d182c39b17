// Small objects of the hardware manager's, connection's and test engine's interfaces, with the dispatch
// tables their servers declare: the far side of the typed-proxy tests.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "TestRunTime/Corvant/include/corvant.h"
#include "platform/com/comptr.h"

#include <map>
#include <string>

namespace proxytest {

// A connection that echoes what it is asked and remembers its last timeout.
vr::ComPtr<IVrConnection> MakeFakeConnection();

// A hardware manager whose records live in a map; CreateConnection makes fake connections and fails for an
// unknown record with E_INVALIDARG and rich error information (description "no record '<name>'").
vr::ComPtr<IVrRigmont> MakeFakeRigmont();

// A test engine with specifications, options and an output queue.
vr::ComPtr<IVrTestEngine> MakeFakeEngine();

} // namespace proxytest
