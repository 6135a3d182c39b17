// The commands of a device adapter file: operations (compose, write, read, parse) and actions (a list of
// commands run in order), with their parameters.
#pragma once

#include "platform/com/comutil.h"
#include "platform/xml/dom.h"
#include "platform/xml/somtypes.h"

#include <memory>
#include <string>
#include <vector>

namespace plugmar {

class CSocket;

// One parameter of a command; while a command runs, `value` holds the value it runs with.
struct CommandParam {
    SOMITEMTYPE type = SOMITEM_NULL;
    bool array = false;
    std::u16string writtenName; // "scope:element" or "element", as written
    _variant_t value;           // the default; VT_EMPTY when none is written
    std::u16string scope;
    std::u16string element;
};
using ParamList = std::vector<CommandParam>;

// Threads: owned by one socket and used on its apartment thread only.
class CCommand {
public:
    explicit CCommand(CSocket& socket) : socket_(socket) {}
    virtual ~CCommand() = default;
    CCommand(const CCommand&) = delete;
    CCommand& operator=(const CCommand&) = delete;

    // A string "Attribute:<name>" becomes the current value of that device attribute; other values are
    // copied. E_INVALIDARG when the attribute cannot be read.
    [[nodiscard]] HRESULT ResolveParamValue(const VARIANT& in, VARIANT* out);
    // Runs the command with the values of params (a filled copy of EntryParams()).
    [[nodiscard]] virtual HRESULT Execute(ParamList& params, VARIANT* result) = 0;
    [[nodiscard]] virtual HRESULT ResolveParamType(CommandParam& param, bool isResult) = 0;
    [[nodiscard]] HRESULT ResolveParamTypes();
    // Appends the trace text of the command.
    virtual void Dump(std::u16string& out) const;
    // Entry parameters first, then results; null when none has that written name.
    CommandParam* FindParam(std::u16string_view writtenName);
    // Reads the element; parentName is empty for a command at the top level.
    [[nodiscard]] virtual HRESULT Load(const vr::xml::Node& element, std::u16string_view parentName);

    const std::u16string& Name() const { return name_; }
    const ParamList& EntryParams() const { return entryParams_; }
    const ParamList& ResultParams() const { return resultParams_; }
    bool IsNested() const { return nested_; }

protected:
    [[nodiscard]] HRESULT ParseParamList(std::u16string_view text, ParamList& out);
    [[nodiscard]] HRESULT LoadParameterMapping(const vr::xml::Node& element);
    // Copies the result into the caller's VARIANT.
    [[nodiscard]] HRESULT CopyResult(const VARIANT& from, VARIANT* to);

    CSocket& socket_;
    std::u16string name_;
    ParamList entryParams_;
    ParamList resultParams_;
    bool nested_ = false;
};

class COperation : public CCommand {
public:
    using CCommand::CCommand;
    [[nodiscard]] HRESULT Execute(ParamList& params, VARIANT* result) override;
    [[nodiscard]] HRESULT ResolveParamType(CommandParam& param, bool isResult) override;
    void Dump(std::u16string& out) const override;
    [[nodiscard]] HRESULT Load(const vr::xml::Node& element, std::u16string_view parentName) override;

private:
    [[nodiscard]] HRESULT LoadInput(const vr::xml::Node& input);
    [[nodiscard]] HRESULT LoadOutput(const vr::xml::Node& output);
    [[nodiscard]] HRESULT AddEntryValues(ParamList& params);
    [[nodiscard]] HRESULT AddEntryValue(const CommandParam& param, const VARIANT& scalar);
    [[nodiscard]] HRESULT AddArrayValues(const CommandParam& param, const VARIANT& array);
    [[nodiscard]] HRESULT Send();
    [[nodiscard]] HRESULT Receive(VARIANT* result);
    [[nodiscard]] HRESULT ShapeResult(VARIANT* result);
    [[nodiscard]] HRESULT TakeReturnedValue(const CommandParam& param, VARIANT* value);
    void TraceRestOfReturnedValues();
    std::u16string RestOfReturnedValuesText() const; // the parsed values no returned parameter took

    bool hasInput_ = false;
    std::u16string inputValue_;
    std::u16string inputMessage_;
    bool hasOutput_ = false;
    int32_t outputTimeout_ = -1;
    std::u16string outputTermString_;
    std::u16string outputMessage_;
};

class CAction : public CCommand {
public:
    using CCommand::CCommand;
    [[nodiscard]] HRESULT Execute(ParamList& params, VARIANT* result) override;
    [[nodiscard]] HRESULT ResolveParamType(CommandParam& param, bool isResult) override;
    void Dump(std::u16string& out) const override;
    [[nodiscard]] HRESULT Load(const vr::xml::Node& element, std::u16string_view parentName) override;

private:
    [[nodiscard]] HRESULT RunCommand(CCommand& command, const ParamList& params, _variant_t& lastResult);

    std::vector<CCommand*> commands_; // owned by the socket's command table
};

// The VARTYPE of a schema datatype, for results and member descriptions.
VARTYPE VarTypeOfSchemaType(SOMITEMTYPE type);

} // namespace plugmar
