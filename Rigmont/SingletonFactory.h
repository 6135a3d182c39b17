// The class object of the server: hands the one manager object of the process to every creator.
#pragma once

#include "platform/com/unknown.h"

namespace rigmont {

// A new class object that owns a new manager object; the manager lives as long as the class object. Fails
// with the manager's creation failure.
[[nodiscard]] HRESULT CreateSingletonFactory(IClassFactory** factory);

} // namespace rigmont
