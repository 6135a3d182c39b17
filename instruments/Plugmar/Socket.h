// CSocket: one device reached over one connection. Loads the device adapter file and serves the device's
// operations and attributes by name through the dynamic dispatch of its default interface.
#pragma once

#include "Command.h"
#include "PropertyTable.h"
#include "SocketDispatchParts.h"
#include "Xlatrix.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "plugmar.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace plugmar {

// (value, substitution) pairs of one message element.
using SubstitutionPairs = std::vector<std::pair<std::u16string, std::u16string>>;

// Threads: apartment-threaded. All calls of one socket come on its apartment's thread, one at a time; the
// running Invoke keeps its pending selector in the object, so calls must not overlap. Nothing is locked.
class CSocket : public vr::ObjectRoot,
                public vr::CoClass<CSocket>,
                public SocketDispatchPart<CSocket>,
                public ProcessorDispatchPart<CSocket>,
                public FilterDispatchPart<CSocket>,
                public vr::SupportErrorInfoImpl<IVrSocket, ISocket, IVrSocketProcessor> {
public:
    using Interfaces = vr::InterfaceList<ISocket, IVrSocket, vr::Via<IDispatch, ISocket>, IVrSocketProcessor,
                                         IVrAttributeCollectionFilter, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    // The static members of ISocket (DISPIDs 1 to 6), of IVrSocketProcessor and of the filter.
    static const vr::DispatchTable<CSocket>& GetDispatchTable();
    static const vr::DispatchTable<CSocket>& ProcessorTable();
    static const vr::DispatchTable<CSocket>& FilterTable();

    HRESULT FinalConstruct();
    void FinalRelease();
    ~CSocket();

    // IVrSocket
    HRESULT Init(BSTR bsOptionString, VARIANT vpIVrConnection) override;
    HRESULT Close() override;
    HRESULT Handle(BSTR bsOptionString, VARIANT_BOOL* pbIsHandled) override;
    HRESULT QueryString(BSTR bsInData, VARIANT vbsTerm, VARIANT vlTimeout, VARIANT vlCount,
                        BSTR* pbsOutData) override;
    HRESULT get_Connection(IVrConnection** ppVrConnection) override;
    HRESULT get_Attributes(IVrAttributeCollection** ppVrAttributeCollection) override;

    // IVrSocketProcessor
    HRESULT LoadInfo(BSTR bsOptionString) override;
    HRESULT GetInfo(BSTR bsOptionString, intptr_t* plInfo) override;

    // IVrAttributeCollectionFilter
    HRESULT SetAttributeValue(BSTR bstrAttrQName, VARIANT varValue, IDispatch* pSchemaElement) override;
    HRESULT GetAttributeValue(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch* pSchemaElement,
                              VARIANT_BOOL vboolInitialValue) override;
    HRESULT AdjustSetAttribute(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch* pSchemaElement) override;
    HRESULT AttributeIsCreated(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch* pSchemaElement) override;

    // The dynamic IDispatch of ISocket (SocketDispatchPart forwards here).
    HRESULT SocketGetTypeInfo(UINT index, LCID lcid, ITypeInfo** info);
    HRESULT SocketGetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
    HRESULT SocketInvoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep, UINT* argError);

    // ---- What the commands use ----
    CXlatrix& Xlatrix() { return xlatrix_; }
    IVrConnection* HeldConnection() const { return connection_.Get(); }
    IVrAttributeCollection* DeviceAttributes() const { return deviceCollection_.Get(); }
    CCommand* FindCommand(std::u16string_view name) const;
    [[nodiscard]] HRESULT AddCommand(std::unique_ptr<CCommand> command);
    int32_t DeviceTimeout() const { return deviceTimeout_; }
    // Loads the substitutions of one element (once per key); *firstValue receives the first enumeration
    // value, *found whether the element has any enumeration.
    [[nodiscard]] HRESULT LoadSubstEnums(std::u16string_view message, std::u16string_view element,
                                         std::u16string* firstValue, bool* found);
    // Replaces text by its substitution (toSubstitution) or by its value; true when a pair matched.
    bool TranslateSubstEnum(std::u16string_view message, std::u16string_view element, std::u16string& text,
                            bool toSubstitution);

private:
    // Adapter loading (SocketAdapter.cpp).
    [[nodiscard]] HRESULT SetAdapter(BSTR path, BSTR optionString);
    [[nodiscard]] HRESULT LoadCommands(const vr::xml::Document& adapter);
    [[nodiscard]] HRESULT LoadDevice(const vr::xml::Node& device);
    [[nodiscard]] HRESULT AddCommandProperties();
    [[nodiscard]] HRESULT LoadDeviceAttributes(BSTR path, BSTR optionString);
    void TraceCommands(std::u16string_view path) const;
    void TraceSubstitutions(std::u16string_view path) const;
    void TraceProperties(std::u16string_view path) const;
    void LoadAdapterTypeLibrary();
    std::u16string AdapterBaseName() const;
    std::u16string AdapterTypeLibraryPath() const;

    // Running commands (Socket.cpp, SocketFilter.cpp).
    [[nodiscard]] HRESULT RunWithDefaults(std::u16string_view commandName, VARIANT* result);
    [[nodiscard]] HRESULT SetConnection(VARIANT& connection);

    // Dynamic dispatch (SocketDispatch.cpp, SocketInvoke.cpp, SocketArguments.cpp).
    const DispProperty* LookupProperty(std::u16string_view name) const;
    [[nodiscard]] HRESULT ApplySelector(std::u16string text);
    [[nodiscard]] HRESULT InvokeSelector(VARIANT* result);
    [[nodiscard]] HRESULT InvokeProperty(const DispProperty& property, WORD flags, DISPPARAMS* params,
                                         VARIANT* result, UINT* argError);
    [[nodiscard]] HRESULT InvokeAttribute(const DispProperty& property, WORD flags, DISPPARAMS* params,
                                          VARIANT* result);
    [[nodiscard]] HRESULT InvokeCommand(const DispProperty& property, WORD flags, DISPPARAMS* params,
                                        VARIANT* result, UINT* argError);
    [[nodiscard]] HRESULT ExecuteCommand(CCommand& command, WORD flags, DISPPARAMS* params, UINT* argError,
                                         DISPID namedDispId, VARIANT* result);
    [[nodiscard]] HRESULT GetDispParam(WORD flags, DISPPARAMS* params, UINT position, DISPID namedDispId,
                                       VARIANT* value, UINT* argError);
    [[nodiscard]] HRESULT ReadScriptArray(IDispatch* array, UINT position, VARIANT* value);
    void TraceInvoke(DISPID id, WORD flags, const DISPPARAMS* params, const VARIANT* result) const;
    static std::u16string InvokeTraceText(DISPID id, WORD flags, const DISPPARAMS* params,
                                          const VARIANT* result);

    // Member description (SocketInfo.cpp).
    [[nodiscard]] HRESULT BuildInfo();
    [[nodiscard]] HRESULT AddAttributeInfo(const DispProperty& property);
    void AddCommandInfo(const DispProperty& property, const std::u16string& commandName, int invokeKind);

    vr::ComPtr<IVrAttributeCollection> ownCollection_;
    vr::ComPtr<IVrConnection> connection_;
    BSTR adapterFile_ = nullptr; // linked to SOCKET:ADAPTERFILE
    vr::ComPtr<IVrAttributeCollection> deviceCollection_;
    CXlatrix xlatrix_{false};
    std::map<std::u16string, std::unique_ptr<CCommand>> commands_;
    std::u16string openCommand_;
    std::u16string closeCommand_;
    int32_t deviceTimeout_ = -1;
    std::u16string deviceTermString_;
    std::u16string defaultSelectorName_;
    PropertyTable properties_;
    std::u16string pendingSelector_;
    std::map<std::u16string, SubstitutionPairs> substitutions_;
    std::map<std::u16string, std::u16string> firstEnumValues_; // per "message:element" with enumerations
    vr::xml::Document adapterDocument_;
    std::u16string adapterPath_;
    vr::ComPtr<ITypeInfo> adapterTypeInfo_;
    std::u16string traceText_;
    SocketInfo info_;
};

} // namespace plugmar
