// The scripting server's class table: the JScript engine and the component-categories manager.
#include "platform/com/server.h"
#include "platform/scripting/category_manager.h"
#include "platform/scripting/jscript_engine.h"

namespace {

constexpr GUID kScriptEngineCategories[] = {CATID_ActiveScript, CATID_ActiveScriptParse};

constexpr vr::server::ClassEntry kClasses[] = {
    {.clsid = CLSID_JScript,
     .createInstance = &vr::script::JScriptEngine::CreateInstance,
     .progId = u"JScript",
     .description = u"JScript Language",
     .threadingModel = vr::server::ThreadingModel::Both,
     .implementedCategories = kScriptEngineCategories},
    {.clsid = CLSID_StdComponentCategoriesMgr,
     .createInstance = &vr::script::CategoryManager::CreateInstance,
     .description = u"Component Categories Manager",
     .threadingModel = vr::server::ThreadingModel::Both},
};

} // namespace

VR_SERVER_EXPORTS(kClasses)
