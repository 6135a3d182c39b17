// IActiveScriptError over one reported script error.
#pragma once

#include "platform/com/object.h"
#include "platform/scripting/activscp.h"
#include "platform/scripting/runtime.h"

namespace vr::script {

class ScriptErrorObject : public vr::ObjectRoot, public IActiveScriptError {
public:
    using Interfaces = vr::InterfaceList<IActiveScriptError>;
    static constexpr bool kAggregatable = false;

    void Set(ScriptErrorInfo error) { error_ = std::move(error); }

    HRESULT GetExceptionInfo(EXCEPINFO* excep) override {
        if (!excep) {
            return E_POINTER;
        }
        FillExcepInfo(error_, excep);
        return S_OK;
    }
    HRESULT GetSourcePosition(DWORD* sourceContext, ULONG* lineNumber, LONG* characterPosition) override {
        if (sourceContext) {
            *sourceContext = static_cast<DWORD>(error_.sourceContext);
        }
        if (lineNumber) {
            *lineNumber = error_.line;
        }
        if (characterPosition) {
            *characterPosition = error_.column;
        }
        return S_OK;
    }
    HRESULT GetSourceLineText(BSTR* sourceLine) override {
        if (!sourceLine) {
            return E_POINTER;
        }
        *sourceLine = AllocBstr(error_.lineText);
        return *sourceLine || error_.lineText.empty() ? S_OK : E_OUTOFMEMORY;
    }

private:
    ScriptErrorInfo error_;
};

} // namespace vr::script
