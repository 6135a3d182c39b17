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

#include <chrono>
#include <deque>
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
    // Reads until the goal is met or timeout milliseconds after start have passed.
    // A read that times out with owesLateAnswer leaves the rest of its answer owed (see LateAnswer).
    HRESULT ReadChunks(const ReadGoal& goal, std::u16string_view term, int32_t timeout,
                       std::chrono::steady_clock::time_point start, bool owesLateAnswer,
                       CollectedAnswer* answer);
    // One ReadString of the in-use interface for count characters; *chunk is the caller's.
    HRESULT ReadOneChunk(int32_t count, BSTR* chunk);
    HRESULT SetSessionTimeout(int32_t milliseconds);
    bool SessionHasReadTimeout(int32_t milliseconds);
    HRESULT ApplyTermination(std::u16string_view term);
    std::optional<int32_t> SessionTimeout();
    // Drops what arrives of the late answers owed, oldest first, until the deadline (now: only what is
    // there); the session's timeout and termination are left as the drop set them. True when the session
    // failed otherwise than by the deadline.
    bool DropLateAnswers(std::chrono::steady_clock::time_point deadline);
    // A trace line when text has characters that a session sends as '?' (it sends one byte a character).
    void WarnOfCharactersBeyondLatin1(std::u16string_view sent);
    // Recording needs a folder it can write: a failure naming the folder.
    HRESULT CheckSimulationFile();
    // The log file's file ("" when it has none).
    std::string SimulationFilePath();
    // Gives up the late answers whose time has passed, dropping what has come since each.
    void GiveUpOverdueLateAnswers();
    // Before a write: waits for each late answer owed until it is given up, drops it, and puts the session's
    // timeout back. Nothing owed: returns at once.
    void SettleLateAnswers();
    // The resource is a VXI-11 instrument (TCPIP...::INSTR).
    bool IsVxi11() const;
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

    // A read that timed out may still get the rest of its answer, and it comes before the answer to any
    // later command. It is owed until that read's timeout has passed again since it timed out (givenUpAt):
    // the next write first waits for it until then and drops it, so that the next query's answer is its own
    // whether the instrument was slow or owed nothing (a command that is never answered, an answer whose end
    // is not the one awaited); the session then drops whatever else sits unread. A read with no write
    // between drops it within its own time. Not on VXI-11, where the next command makes the instrument drop
    // an answer not read.
    struct LateAnswer {
        ReadGoal goal;
        std::u16string term;      // the termination that read gave
        size_t received = 0;      // characters that read got, carriage returns included
        std::u16string collected; // what it got, carriage returns left out
        std::chrono::steady_clock::time_point givenUpAt; // when that read timed out, plus its timeout
    };
    std::deque<LateAnswer> lateAnswers_; // oldest first: added by reads that timed out, dropped as they come

    SimulationState simulation_ = SimulationState::Off;
    bool recordedWrite_ = false; // the "in" field of the current record has been written
    std::u16string lastCommand_;
};

} // namespace instrel
