// CCnVISA's traffic: WriteString, Write and ReadString, with recording into and replay from the log file.
#include "CnVISA.h"

#include "Report.h"
#include "platform/base/format.h"
#include "platform/base/syserror.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/visa/visa_status.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unistd.h>

namespace instrel {

namespace {

const std::u16string kWriteDashes(54, u'-');
// The largest answer buffer a connection keeps between reads, in characters.
constexpr size_t kKeptAnswerBuffer = 16 * 1024 * 1024;
// The chunk a read without a count asks the VISA session for: answers of a few megabytes come in one piece,
// which is handed on as it came. (A protocol converter is asked for ReadGoal::kChunk, as it always was.)
constexpr int32_t kSessionChunk = 4 * 1024 * 1024;
const std::u16string kReadDashes(35, u'-');

int32_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
    auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<int32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

} // namespace

HRESULT CCnVISA::WriteString(BSTR bsData, int32_t* plRetCount) {
    SetTraceMethodName(u"CCnVISA::WriteString()");
    if (!plRetCount) {
        return E_POINTER;
    }
    return FailWithErrorInfo(CLSID_CnVISA, WriteStringWork(bsData, plRetCount));
}

HRESULT CCnVISA::WriteStringWork(BSTR bsData, int32_t* plRetCount) {
    const std::u16string data(vr::BstrView(bsData));
    const std::u16string sent = data + DecodeEndChars(vr::BstrView(endChars_));
    if (Replaying()) {
        // Nothing reaches an instrument; the count is what would have been sent.
        *plRetCount = static_cast<int32_t>(sent.size());
    } else if (!IsOpen()) {
        return Report(E_FAIL,
                      vr::FormatWString(u"Try to send to the '%s' Connection which is not opened: '%s'.",
                                        Name(), data.c_str()));
    } else {
        SettleLateAnswers();
        WarnOfCharactersBeyondLatin1(sent);
        OwnedBstr text(sent);
        LONG count = 0;
        HRESULT hr = message_->WriteString(text.Get(), &count);
        // A write that fails part way (a timeout after megabytes) still says how much went out.
        *plRetCount = count;
        if (FAILED(hr)) {
            return Report(hr,
                          vr::FormatWString(u"VISA Error: %08lx. Couldn't send to the '%s' Connection: '%s'.",
                                            hr, Name(), data.c_str()));
        }
        if (Recording()) {
            RecordWrite(data);
        }
    }
    TracePrintfLevel3(u"%s Write to '%s' connection %s\n{%s}", kWriteDashes.c_str(), Name(),
                      kWriteDashes.c_str(), sent.c_str());
    lastCommand_ = data;
    return S_OK;
}

void CCnVISA::WarnOfCharactersBeyondLatin1(std::u16string_view sent) {
    const auto beyond = std::count_if(sent.begin(), sent.end(), [](char16_t c) { return c > 0xFF; });
    if (beyond > 0) {
        SetTraceSite();
        TraceInfo(
            u"Warning: %d characters above U+00FF go to the '%s' Connection as '?' (one byte each): '%s'.",
            static_cast<int>(beyond), Name(), std::u16string(sent).c_str());
    }
}

HRESULT CCnVISA::Write(VARIANT vData, VARIANT vlCount, int32_t* plRetCount) {
    SetTraceMethodName(u"CCnVISA::Write()");
    if (!plRetCount) {
        return E_POINTER;
    }
    int32_t count = -1;
    const VARIANT countValue = UnwrapVariantRef(vlCount);
    if (!vr::IsMissingArgument(countValue)) {
        _variant_t number;
        if (FAILED(VariantChangeType(&number, &countValue, 0, VT_I4))) {
            Report(E_INVALIDARG,
                   vr::FormatWString(
                       u"Couldn't send data to the '%s' Connection: Wrong type of vlCount parameter '%s'.",
                       Name(), VariantToText(&countValue).c_str()));
            return FailWithErrorInfo(CLSID_CnVISA, E_INVALIDARG);
        }
        count = number.lVal;
    }
    const VARIANT data = UnwrapVariantRef(vData);
    if (data.vt == VT_BSTR) {
        std::u16string_view text = vr::BstrView(data.bstrVal);
        if (count >= 0 && static_cast<size_t>(count) < text.size()) {
            text = text.substr(0, static_cast<size_t>(count));
        }
        OwnedBstr part(text);
        return FailWithErrorInfo(CLSID_CnVISA, WriteStringWork(part.Get(), plRetCount));
    }
    if (data.vt == (VT_ARRAY | VT_UI1)) {
        return FailWithErrorInfo(CLSID_CnVISA, WriteBytes(data.parray, count, plRetCount));
    }
    Report(E_INVALIDARG,
           vr::FormatWString(u"Couldn't send to the '%s' Connection: '%s' (Wrong type of vData parameter)",
                             Name(), VariantToText(&data).c_str()));
    return FailWithErrorInfo(CLSID_CnVISA, E_INVALIDARG);
}

HRESULT CCnVISA::WriteBytes(SAFEARRAY* bytes, int32_t count, int32_t* plRetCount) {
    VARIANT shown;
    VariantInit(&shown);
    shown.vt = VT_ARRAY | VT_UI1;
    shown.parray = bytes;
    const std::u16string text = VariantToText(&shown);
    // Bytes are never recorded or replayed: while replaying there is no instrument to take them.
    if (!IsOpen() || Replaying()) {
        return Report(E_FAIL,
                      vr::FormatWString(u"Try to send to the '%s' Connection which is not opened: '%s'.",
                                        Name(), text.c_str()));
    }
    if (count < 0) {
        LONG lower = 0;
        LONG upper = -1;
        if (FAILED(SafeArrayGetLBound(bytes, 1, &lower)) || FAILED(SafeArrayGetUBound(bytes, 1, &upper))) {
            return ReportGeneric(E_INVALIDARG);
        }
        count = upper - lower + 1;
    }
    SettleLateAnswers();
    LONG written = 0;
    HRESULT hr = message_->Write(bytes, count, &written);
    *plRetCount = written;
    if (FAILED(hr)) {
        return Report(hr, vr::FormatWString(u"VISA Error: %08lx. Couldn't send to the '%s' Connection: '%s'.",
                                            hr, Name(), text.c_str()));
    }
    SetTraceSite();
    TraceInfo(u"Sent to the '%s' Connection: '%s'.", Name(), text.c_str());
    return S_OK;
}

HRESULT CCnVISA::ReadString(BSTR bsTerm, int32_t lTimeout, int32_t lCount, BSTR* pbsData) {
    SetTraceMethodName(u"CCnVISA::ReadString()");
    if (!pbsData) {
        return E_POINTER;
    }
    *pbsData = nullptr;
    SetTraceSite();
    TraceInfo(u"(bstrTerm = '%s'; lTimeout = '%d'; lCount = '%d');", TextOf(bsTerm), lTimeout, lCount);
    // An answer of several chunks is collected in a buffer the connection keeps, so that a long answer does
    // not take fresh memory (page by page) on every read; one that grew past kKeptAnswerBuffer is let go
    // afterwards.
    HRESULT hr = S_OK;
    {
        CollectedAnswer answer(&readBuffer_);
        hr = ReadStringWork(bsTerm, lTimeout, lCount, &answer);
        if (SUCCEEDED(hr)) {
            *pbsData = answer.Detach();
        }
    }
    if (readBuffer_.capacity() > kKeptAnswerBuffer) {
        std::u16string().swap(readBuffer_);
    }
    return FAILED(hr) ? FailWithErrorInfo(CLSID_CnVISA, hr) : S_OK;
}

HRESULT CCnVISA::ReadStringWork(BSTR bsTerm, int32_t lTimeout, int32_t lCount, CollectedAnswer* answer) {
    if (Replaying()) {
        return ReplayRead(answer);
    }
    if (!IsOpen()) {
        return Report(E_FAIL,
                      vr::FormatWString(u"Reading from the '%s' Connection which is not opened.", Name()));
    }
    // The read's time runs from here: what a late answer's drop takes of it is not waited again.
    const auto start = std::chrono::steady_clock::now();
    // A read with no write since a read that timed out: what is owed is dropped within this read's time and
    // no longer than it is owed. Such a read owes nothing of its own when it times out too, since what it
    // took for the earlier answer may have been its own.
    const bool dropping = !lateAnswers_.empty();
    if (dropping) {
        const auto deadline =
            start + std::chrono::milliseconds(std::max(lTimeout >= 0 ? lTimeout : defaultTimeout_, 0));
        (void)DropLateAnswers(
            std::min(deadline, lateAnswers_.front().givenUpAt)); // a failure: the read's own
        GiveUpOverdueLateAnswers();
    }
    int32_t timeout = 0;
    if (HRESULT hr = PrepareRead(bsTerm, lTimeout, &timeout); FAILED(hr)) {
        return hr;
    }
    lastReadStatus_ = UnknownReason;
    ReadGoal goal = ReadGoal::Of(vr::BstrView(bsTerm), lCount);
    if (!converter_) {
        goal.chunkWithoutCount = kSessionChunk;
    }
    if (HRESULT hr = ReadChunks(goal, vr::BstrView(bsTerm), timeout, start, !dropping, answer); FAILED(hr)) {
        return hr;
    }
    if (Recording()) {
        RecordRead(answer->Text());
    }
    TraceRead(answer->TextZ());
    return S_OK;
}

HRESULT CCnVISA::PrepareRead(BSTR bsTerm, int32_t lTimeout, int32_t* timeout) {
    *timeout = lTimeout >= 0 ? lTimeout : defaultTimeout_;
    // Through the collection (its schema check, then the filter to the session) only when it changes.
    if (!SessionHasReadTimeout(*timeout)) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = *timeout;
        OwnedBstr name(u"VISA:TIMEOUT");
        readTimeoutSet_.reset();
        if (HRESULT hr = visa_->SetAttribute(name.Get(), value); FAILED(hr)) {
            return ReportGeneric(hr);
        }
        readTimeoutSet_ = *timeout;
    }
    if (HRESULT hr = ApplyTermination(vr::BstrView(bsTerm)); FAILED(hr)) {
        return Report(hr, vr::FormatWString(u"The '%s' Connection: VISA Error: 0x%08lx.", Name(), hr));
    }
    return S_OK;
}

HRESULT CCnVISA::ApplyTermination(std::u16string_view term) {
    if (term.empty()) {
        return message_->put_TerminationCharacterEnabled(VARIANT_FALSE);
    }
    HRESULT hr = message_->put_TerminationCharacter(static_cast<BYTE>(term.back() & 0xFF));
    return SUCCEEDED(hr) ? message_->put_TerminationCharacterEnabled(VARIANT_TRUE) : hr;
}

HRESULT CCnVISA::ReadOneChunk(int32_t count, BSTR* chunk) {
    *chunk = nullptr;
    return message_->ReadString(count, chunk);
}

HRESULT CCnVISA::SetSessionTimeout(int32_t milliseconds) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = milliseconds;
    return message_->SetAttribute(0x3FFF001A, value);
}

std::optional<int32_t> CCnVISA::SessionTimeout() {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(message_->GetAttribute(0x3FFF001A, &value)) || value.vt != VT_I4) {
        (void)VariantClear(&value); // whatever came: freed, not used
        return std::nullopt;
    }
    return value.lVal;
}

bool CCnVISA::SessionHasReadTimeout(int32_t milliseconds) {
    if (readTimeoutSet_ != milliseconds) {
        return false;
    }
    // The session itself is asked: VISA:TIMEOUT set through the attributes since, or a read's shortened
    // timeout left behind, makes it differ.
    VARIANT value;
    VariantInit(&value);
    if (FAILED(message_->GetAttribute(0x3FFF001A, &value))) {
        return false;
    }
    const bool same = value.vt == VT_I4 && value.lVal == milliseconds;
    (void)VariantClear(&value); // a number: nothing to free, cleared for form
    return same;
}

HRESULT CCnVISA::ReadChunks(const ReadGoal& goal, std::u16string_view term, int32_t timeout,
                            std::chrono::steady_clock::time_point start, bool owesLateAnswer,
                            CollectedAnswer* answer) {
    // One deadline for the whole read: an instrument that keeps sending the termination character without
    // the rest of the terminator must not hold the read past its timeout.
    bool timeoutShortened = false;
    size_t received = 0;
    ReadDecision decision;
    HRESULT chunkStatus = S_OK;
    int32_t sessionTimeout = timeout;
    while (decision.step == ReadStep::ReadOn) {
        if (timeout > 0) {
            const int32_t remaining = std::max(timeout - MillisecondsSince(start), 0);
            if (remaining != sessionTimeout && SUCCEEDED(SetSessionTimeout(remaining))) {
                // Chunks that follow within the same millisecond find the session's timeout already right.
                sessionTimeout = remaining;
                timeoutShortened = true;
            }
        }
        BSTR chunk = nullptr;
        chunkStatus = ReadOneChunk(goal.NextChunk(received), &chunk);
        received += answer->Add(chunk);
        decision = DecideRead(goal, chunkStatus, answer->Text(), received);
        if (decision.step == ReadStep::ReadOn && timeout > 0 && MillisecondsSince(start) >= timeout) {
            chunkStatus = vr::visa::kErrorTimeout;
            decision = DecideRead(goal, chunkStatus, answer->Text(), received);
        }
    }
    if (timeoutShortened) {
        (void)SetSessionTimeout(timeout); // writes and the next read see the configured timeout again
    }
    switch (decision.step) {
    case ReadStep::Done:
        lastReadStatus_ = decision.status;
        return S_OK;
    case ReadStep::Timeout:
        // A read that did not wait leaves what comes later to the next one. On VXI-11 the instrument drops
        // an answer not read when the next command comes: nothing is owed.
        if (timeout > 0 && owesLateAnswer && !IsVxi11()) {
            lateAnswers_.push_back(
                LateAnswer{goal, std::u16string(term), received, std::u16string(answer->Text()),
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout)});
        }
        if (answer->Text().empty()) {
            return Report(E_FAIL,
                          vr::FormatWString(u"Could not read from the '%s' Connection within the specified "
                                            u"Timeout.",
                                            Name()));
        }
        return Report(E_FAIL,
                      vr::FormatWString(u"Could not read from the '%s' Connection within the specified "
                                        u"Timeout. Recieved Data:\n'%s'.",
                                        Name(), answer->TextZ()));
    case ReadStep::OtherFailure:
        return Report(E_FAIL,
                      vr::FormatWString(u"Could not read from the '%s' Connection. VISA Error: 0x%08lx. "
                                        u"Received Data:\n'%s'",
                                        Name(), chunkStatus, answer->TextZ()));
    default:
        return ReportGeneric(E_FAIL);
    }
}

bool CCnVISA::DropLateAnswers(std::chrono::steady_clock::time_point deadline) {
    std::u16string dropped;
    int32_t sessionTimeout = -1;
    // The termination set for the drop, none before its first chunk.
    std::optional<std::u16string> appliedTerm;
    bool failed = false;
    while (!lateAnswers_.empty()) {
        LateAnswer& late = lateAnswers_.front();
        // Rounded up: a read that ends before the deadline would leave the answer owed past it.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int32_t remaining = static_cast<int32_t>(std::max<int64_t>(left.count(), 0));
        if (remaining != sessionTimeout) {
            if (FAILED(SetSessionTimeout(remaining))) {
                failed = true; // the session takes no timeout now: what is owed stays owed
                break;
            }
            sessionTimeout = remaining;
        }
        if (late.term != appliedTerm && FAILED(ApplyTermination(late.term))) {
            failed = true;
            break;
        }
        appliedTerm = late.term;
        BSTR chunk = nullptr;
        const HRESULT status = ReadOneChunk(late.goal.NextChunk(late.received), &chunk);
        const std::u16string_view text = vr::BstrView(chunk);
        late.received += text.size();
        AppendWithoutCarriageReturns(text, &late.collected);
        dropped += text;
        SysFreeString(chunk);
        const ReadDecision decision = DecideRead(late.goal, status, late.collected, late.received);
        if (decision.step == ReadStep::Done) {
            lateAnswers_.pop_front();
        } else if (decision.step != ReadStep::ReadOn) {
            // Nothing more has come in time: it is still owed, and dropped when it comes.
            failed = decision.step != ReadStep::Timeout;
            break;
        }
    }
    if (!dropped.empty()) {
        SetTraceSite();
        TraceInfo(u"Dropped the late answer of the '%s' Connection's read that timed out: '%s'.", Name(),
                  dropped.c_str());
    }
    return failed;
}

void CCnVISA::GiveUpOverdueLateAnswers() {
    while (!lateAnswers_.empty() && std::chrono::steady_clock::now() >= lateAnswers_.front().givenUpAt) {
        SetTraceSite();
        TraceInfo(u"Gave up the late answer of the '%s' Connection's read that timed out.", Name());
        lateAnswers_.pop_front();
        (void)DropLateAnswers(std::chrono::steady_clock::now()); // what came is the next one's; a failure:
                                                                 // the caller's own call meets it
    }
}

void CCnVISA::SettleLateAnswers() {
    if (lateAnswers_.empty()) {
        return;
    }
    const std::optional<int32_t> timeout = SessionTimeout();
    while (!lateAnswers_.empty()) {
        if (DropLateAnswers(lateAnswers_.front().givenUpAt)) {
            break; // the session failed otherwise (a lost peer): the write says so
        }
        GiveUpOverdueLateAnswers();
    }
    // The write waits as long as the session did before the drop (as the last read set it, when the
    // session cannot say).
    (void)SetSessionTimeout(timeout.value_or(readTimeoutSet_.value_or(defaultTimeout_)));
}

bool CCnVISA::IsVxi11() const {
    std::u16string name = resource_;
    for (char16_t& c : name) {
        c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
    }
    return name.starts_with(u"TCPIP") && name.ends_with(u"::INSTR");
}

HRESULT CCnVISA::ReplayRead(CollectedAnswer* text) {
    lastReadStatus_ = EndIndicator;
    OwnedBstr recordId(ReplayRecordId(vr::BstrView(recordId_)));
    OwnedBstr query(ReplayQuery(lastCommand_));
    OwnedBstr field(u"out");
    OwnedBstr answer;
    HRESULT hr = logFile_->ReadField(recordId.Get(), query.Get(), field.Get(), answer.Put());
    if (FAILED(hr) || answer.Get() == nullptr) {
        const std::string file = SimulationFilePath();
        if (!file.empty() && ::access(file.c_str(), R_OK) != 0) {
            return Report(E_FAIL,
                          vr::FormatWString(u"Could not read from the '%s' Connection: its simulation file "
                                            u"'%hs' cannot be read (%hs).",
                                            Name(), file.c_str(), vr::ErrnoText(errno).c_str()));
        }
        return Report(E_FAIL,
                      vr::FormatWString(u"Could not read from the '%s' Connection. VISA Error: 0x%08lx. "
                                        u"Received Data:\n'%s'",
                                        Name(), E_FAIL, u""));
    }
    text->Keep(answer.Detach());
    TraceRead(text->TextZ());
    return S_OK;
}

void CCnVISA::RecordWrite(const std::u16string& data) {
    // The log file's own failures never fail the connection's traffic.
    OwnedBstr recordId(vr::BstrView(recordId_));
    OwnedBstr field(u"in");
    OwnedBstr text(data);
    (void)logFile_->BeginRecord(recordId.Get());
    (void)logFile_->SaveField(recordId.Get(), field.Get(), text.Get());
    recordedWrite_ = true;
}

void CCnVISA::RecordRead(std::u16string_view answer) {
    OwnedBstr recordId(vr::BstrView(recordId_));
    if (!recordedWrite_) {
        OwnedBstr in(u"in");
        OwnedBstr empty(u"");
        (void)logFile_->BeginRecord(recordId.Get());
        (void)logFile_->SaveField(recordId.Get(), in.Get(), empty.Get());
    }
    OwnedBstr out(u"out");
    OwnedBstr text(answer);
    (void)logFile_->SaveField(recordId.Get(), out.Get(), text.Get());
}

void CCnVISA::TraceRead(const OLECHAR* text) {
    TracePrintfLevel3(u"%s Read from '%s' connection (ReadStatus = '%s') %s\n{%s}\n", kReadDashes.c_str(),
                      Name(), ReadStatusWord(lastReadStatus_), kReadDashes.c_str(), text);
}

} // namespace instrel
