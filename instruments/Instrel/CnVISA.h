// CCnVISA: the connection to one instrument through a VISA session, optionally through an I/O-protocol
// converter, with its settings in attribute collections and its traffic recorded into or replayed from a log
// file.
#pragma once

#include "ConnectionText.h"
#include "instrel.h"
#include "jotwell.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch_table.h"
#include "platform/com/object.h"
#include "platform/visa/visa_com.h"
#include "wirelo.h"

#include <optional>
#include <string>

namespace instrel {

// What the connection does with its log file (the attribute CONNECTION:SIMULATION).
enum class SimulationState : int32_t { Off = 0, Replaying = 1, Recording = 2 };

// The filter side of the connection: the collections reach the connection by vtable only, so its IDispatch
// members answer that nothing is there to call by name.
class FilterDispatch : public IVrAttributeCollectionFilter {
public:
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;

protected:
    ~FilterDispatch() = default;
};

// Threads: registered for both models, takes no locks; one caller at a time (the socket or the hardware
// manager's client). The session's own thread rules apply to the calls it forwards.
class CCnVISA : public vr::ObjectRoot,
                public vr::CoClass<CCnVISA>,
                public vr::DispatchImpl<CCnVISA, ICnVISA>,
                public FilterDispatch,
                public vr::SupportErrorInfoImpl<ICnVISA, IVrConnection> {
public:
    using Interfaces = vr::InterfaceList<ICnVISA, IVrConnection, vr::Via<IDispatch, ICnVISA>,
                                         IVrAttributeCollectionFilter, ISupportErrorInfo>;
    static constexpr bool kAggregatable = false;

    static const vr::DispatchTable<CCnVISA>& GetDispatchTable();

    HRESULT FinalConstruct();
    void FinalRelease();

    // IVrConnection
    HRESULT FindResources(BSTR bstrExpression, VARIANT* pvResources) override;
    HRESULT Init(BSTR bsResource, BSTR bsOptionString, int32_t lInitTimeout, VrAccessMode mode) override;
    HRESULT Close() override;
    HRESULT LockRsrc(VrAccessMode mode, int32_t lLockTimeout, BSTR bsRequestedKey,
                     BSTR* pbsAccessKey) override;
    HRESULT UnlockRsrc() override;
    HRESULT Clear() override;
    HRESULT ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) override;
    HRESULT WriteString(BSTR bsData, int32_t* plRetCount) override;
    HRESULT Write(VARIANT vData, VARIANT vlCount, int32_t* plRetCount) override;
    HRESULT Handle(BSTR bsResource, BSTR bsOptionString, VARIANT_BOOL* pbIsHandled) override;
    HRESULT get_LastReadStatus(VrReadStatus* pStatus) override;
    HRESULT get_Attributes(IVrAttributeCollection** ppAttributes) override;

    // IVrAttributeCollectionFilter
    HRESULT SetAttributeValue(BSTR bstrAttrQName, VARIANT varValue, IDispatch* pSchemaElement) override;
    HRESULT GetAttributeValue(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch* pSchemaElement,
                              VARIANT_BOOL vboolInitialValue) override;
    HRESULT AdjustSetAttribute(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch* pSchemaElement) override;
    HRESULT AttributeIsCreated(BSTR bstrAttrQName, VARIANT* pVarValue, IDispatch* pSchemaElement) override;

private:
    bool IsOpen() const { return message_ != nullptr; }
    bool Replaying() const { return simulation_ == SimulationState::Replaying; }
    bool Recording() const { return simulation_ == SimulationState::Recording; }
    const OLECHAR* Name() const { return resource_.c_str(); }

    // The steps of Init; each reports its own failure.
    HRESULT InitWork(BSTR bsResource, BSTR bsOptionString, int32_t lInitTimeout, VrAccessMode mode);
    HRESULT ClassifyResource(const std::u16string& resource, std::u16string* section);
    HRESULT CreateVisaCollection(const std::u16string& section, BSTR options);
    HRESULT EnsureResourceManager();
    HRESULT OpenOptions(BSTR options, std::u16string* openOptions);
    HRESULT OpenSession(BSTR bsResource, int32_t lInitTimeout, VrAccessMode mode, BSTR options);
    HRESULT AttachConverter();
    HRESULT PrepareMessage();
    HRESULT ApplyVisaOptions(BSTR options);
    HRESULT SetDefaultEndChars();
    HRESULT FinishVisaCollection();

    // The work of the I/O methods.
    HRESULT WriteStringWork(BSTR bsData, int32_t* plRetCount);
    HRESULT WriteBytes(SAFEARRAY* bytes, int32_t count, int32_t* plRetCount);
    HRESULT ReadStringWork(BSTR bsTerm, int32_t lTimeout, int32_t lCount, CollectedAnswer* answer);
    HRESULT ReplayRead(CollectedAnswer* answer);
    HRESULT PrepareRead(BSTR bsTerm, int32_t lTimeout, int32_t* timeout);
    HRESULT ReadChunks(const ReadGoal& goal, int32_t timeout, CollectedAnswer* answer);
    // One ReadString of the in-use interface for count characters; *chunk is the caller's.
    HRESULT ReadOneChunk(int32_t count, BSTR* chunk);
    HRESULT SetSessionTimeout(int32_t milliseconds);
    bool SessionHasReadTimeout(int32_t milliseconds);
    void DropLateAnswer();
    void RecordWrite(const std::u16string& data);
    void RecordRead(std::u16string_view answer);
    void TraceRead(const OLECHAR* text);

    // The filter's work.
    HRESULT SetSimulation(const VARIANT& value);
    HRESULT SetVisaAttribute(BSTR name, const VARIANT& value);
    HRESULT GetVisaAttribute(BSTR name, VARIANT* value);
    HRESULT VisaNumId(BSTR name, LONG* numId);
    HRESULT SetCollectionValue(IVrAttributeCollection* collection, const OLECHAR* name, const VARIANT& value);

    vr::ComPtr<IVrAttributeCollection> connection_;
    vr::ComPtr<IVrAttributeCollection> visa_;
    vr::ComPtr<IVrLogFile> logFile_;
    vr::ComPtr<IResourceManager> manager_;
    vr::ComPtr<IMessage> sessionMessage_;
    vr::ComPtr<IMessage> message_; // the one all I/O goes through: the session's or the converter's
    vr::ComPtr<IIOProtocolConverter> converter_;

    std::u16string schemaPath_;
    BSTR managerProgId_ = nullptr;
    int16_t resourceKind_ = 0;
    std::u16string resource_;
    VrReadStatus lastReadStatus_ = UnknownReason;
    int32_t defaultTimeout_ = 0;
    // The VISA:TIMEOUT the last read set through the VISA collection (none before the first); the object's
    // thread only, as every member.
    std::optional<int32_t> readTimeoutSet_;
    std::u16string readBuffer_; // an answer of several chunks while it is collected; kept between reads
    bool traceScopeOpen_ = false;

    // Linked to the connection collection's attributes.
    BSTR simulationSetting_ = nullptr;
    BSTR recordId_ = nullptr;
    BSTR ioProtocol_ = nullptr;
    BSTR endChars_ = nullptr;

    // A read that timed out may still get the rest of its answer: the next write waits for it and drops it,
    // so that it is not taken for the answer to that write's command.
    struct LateAnswer {
        bool owed = false;
        ReadGoal goal;
        size_t received = 0;      // characters that read got, carriage returns included
        std::u16string collected; // what it got, carriage returns left out
        int32_t timeout = 0;      // milliseconds it was allowed to wait
    };
    LateAnswer lateAnswer_; // set by a read that timed out, taken by the next write

    SimulationState simulation_ = SimulationState::Off;
    bool recordedWrite_ = false; // the "in" field of the current record has been written
    std::u16string lastCommand_;
};

} // namespace instrel
