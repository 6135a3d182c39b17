// The script languages the script executive server offers, read from a server object made only for that.
#pragma once

#include <string>
#include <vector>

struct IScrivon;

namespace scrivon {

// The names in the server's ScriptLanguages; empty when the server cannot be made or lists none.
std::vector<std::string> ServerScriptLanguages();
// The names in the ScriptLanguages of an existing server object (a SAFEARRAY of VARIANT strings).
std::vector<std::string> ScriptLanguagesOf(IScrivon* server);

} // namespace scrivon
