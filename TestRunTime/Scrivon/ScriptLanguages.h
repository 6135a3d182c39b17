// The script languages the script executive server offers, read from a server object made only for that.
#pragma once

#include "platform/com/hresult.h"

#include <string>
#include <vector>

struct IScrivon;

namespace scrivon {

// The names in the server's ScriptLanguages; empty when the server cannot be made or lists none.
std::vector<std::string> ServerScriptLanguages();
// The names in the ScriptLanguages of an existing server object (a SAFEARRAY of VARIANT strings).
std::vector<std::string> ScriptLanguagesOf(IScrivon* server);

// Why no script can be loaded when no language is known: the registry the program reads records no script
// engine (most often a program run from the build tree without VORNIC_REGISTRY, or a user who has not run
// vornic-register yet).
std::string NoScriptLanguageText();
// Why a test-execution worker that could not start (its startup's HRESULT and error text) runs nothing: a
// registry that does not record its classes is named as NoScriptLanguageText names it; any other failure is
// given in the worker's own words.
std::string WorkerStartFailureText(HRESULT hr, const std::string& error);

} // namespace scrivon
