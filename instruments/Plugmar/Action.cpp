// CAction: an adapter action, a list of commands run in order, whose parameters feed the commands' own.
#include "Command.h"
#include "Socket.h"
#include "SocketErrors.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"

namespace plugmar {

HRESULT CAction::Load(const vr::xml::Node& element, std::u16string_view parentName) {
    if (HRESULT hr = CCommand::Load(element, parentName); FAILED(hr)) {
        return hr;
    }
    for (vr::xml::Node child = element.firstChild(); child; child = child.nextSibling()) {
        if (child.nodeType() != vr::xml::NODE_ELEMENT) {
            continue;
        }
        const std::u16string kind = child.nodeName();
        if (kind == u"reference") {
            vr::xml::NamedNodeMap attributes = child.attributes();
            std::u16string referenced;
            for (int32_t i = 0; i < attributes.length(); ++i) {
                vr::xml::Node attribute = attributes.item(i);
                if (attribute.nodeName() != u"name") {
                    return RecordFailure(E_FAIL,
                                         u"Unknown attribute '%s' within '%s' element of '%s' action.",
                                         attribute.nodeName().c_str(), u"reference", name_.c_str());
                }
                referenced = attribute.nodeValue();
            }
            CCommand* command = socket_.FindCommand(referenced);
            if (!command) {
                return RecordFailure(
                    E_FAIL,
                    u"Reference to undefined '%s' command in 'reference/@name' attribute of '%s' action.",
                    referenced.c_str(), name_.c_str());
            }
            commands_.push_back(command);
        } else if (kind == u"operation") {
            auto operation = std::make_unique<COperation>(socket_);
            if (HRESULT hr = operation->Load(child, name_); FAILED(hr)) {
                return hr;
            }
            const std::u16string name = operation->Name();
            if (HRESULT hr = socket_.AddCommand(std::move(operation)); FAILED(hr)) {
                return hr;
            }
            commands_.push_back(socket_.FindCommand(name));
        }
    }
    return ResolveParamTypes();
}

HRESULT CAction::ResolveParamType(CommandParam& param, bool) {
    for (CCommand* command : commands_) {
        if (!param.scope.empty() && command->Name() != param.scope) {
            continue;
        }
        if (CommandParam* target = command->FindParam(param.element)) {
            param.type = target->type;
            param.array = target->array;
            // A parameter written without scope feeds the first command that has it.
            param.scope = command->Name();
            return S_OK;
        }
    }
    return E_FAIL;
}

void CAction::Dump(std::u16string& out) const {
    CCommand::Dump(out);
    out += u"ACTION: ";
    for (size_t i = 0; i < commands_.size(); ++i) {
        out += u"Cmd" + vr::FromUtf8(std::to_string(i)) + u"='" + commands_[i]->Name() + u"'; ";
    }
}

HRESULT CAction::RunCommand(CCommand& command, const ParamList& params, _variant_t& lastResult) {
    ParamList own = command.EntryParams();
    for (const CommandParam& given : params) {
        if (given.scope != command.Name()) {
            continue;
        }
        for (CommandParam& target : own) {
            if (target.writtenName == given.element) {
                target.value = given.value;
            }
        }
    }
    lastResult.Clear();
    return command.Execute(own, &lastResult);
}

HRESULT CAction::Execute(ParamList& params, VARIANT* result) {
    _variant_t actionResult;
    for (CCommand* command : commands_) {
        _variant_t commandResult;
        if (HRESULT hr = RunCommand(*command, params, commandResult); FAILED(hr)) {
            return hr;
        }
        if (resultParams_.empty() || resultParams_.front().scope != command->Name()) {
            continue;
        }
        if (resultParams_.size() > 1) {
            return RecordFailure(DISP_E_BADPARAMCOUNT,
                                 u"'%s' action: There must be only one 'result' parameter.", name_.c_str());
        }
        if (commandResult.vt == VT_EMPTY) {
            return RecordFailure(
                DISP_E_PARAMNOTFOUND,
                u"'%s' action: Couldn't get the return value, since '%s' command returned nothing.",
                name_.c_str(), command->Name().c_str());
        }
        actionResult = commandResult;
    }
    if (resultParams_.empty()) {
        TraceInfo(u"'%s' action: No result is expected.", name_.c_str());
    } else {
        TraceInfoOf([&actionResult] {
            return vr::FormatWString(u"Return: varResult = '%s';", VariantToText(&actionResult).c_str());
        });
    }
    return CopyResult(actionResult, result);
}

} // namespace plugmar
