// Reading the script executive server's language list.
#include "TestRunTime/Scrivon/ScriptLanguages.h"

#include "TestRunTime/Scripvane/include/scripvane.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/registry/registry.h"

namespace scrivon {
namespace {

std::vector<std::string> NamesIn(SAFEARRAY* array) {
    std::vector<std::string> names;
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return names;
    }
    for (LONG index = lower; index <= upper; ++index) {
        _variant_t entry;
        if (SUCCEEDED(SafeArrayGetElement(array, &index, static_cast<VARIANT*>(&entry))) &&
            entry.vt == VT_BSTR) {
            names.push_back(_bstr_t(entry.bstrVal).utf8());
        }
    }
    return names;
}

} // namespace

std::vector<std::string> ScriptLanguagesOf(IScrivon* server) {
    _variant_t list;
    if (!server || FAILED(server->get_ScriptLanguages(static_cast<VARIANT*>(&list))) ||
        list.vt != (VT_ARRAY | VT_VARIANT) || !list.parray) {
        return {};
    }
    return NamesIn(list.parray);
}

std::vector<std::string> ServerScriptLanguages() {
    vr::ComPtr<IScrivon> server;
    if (FAILED(CoCreateInstance(CLSID_TestScriptExecutive, nullptr, CLSCTX_ALL, __uuidof(IScrivon),
                                server.PutVoid()))) {
        return {};
    }
    return ScriptLanguagesOf(server.Get());
}

std::string NoScriptLanguageText() {
    return "No script language is known: the registry " + vr::RegistryRoot() +
           " records no script engine, so no script can be loaded. Programs run from the build tree need "
           "VORNIC_REGISTRY=<build>/registry; each user of an installation runs <prefix>/bin/vornic-register "
           "once.";
}

std::string WorkerStartFailureText(HRESULT hr, const std::string& error) {
    return hr == REGDB_E_CLASSNOTREG ? NoScriptLanguageText() : error;
}

} // namespace scrivon
