// The connection tester's reading: one reader thread per read, taken in by the window's timer.
#include "VrDev/Ostrel/managers/ConnectionTester.h"

#include "common/attrvalues/AttrValueComboModel.h"
#include "platform/base/text.h"
#include "platform/com/apartment.h"
#include "platform/com/comutil.h"
#include "platform/com/marshal.h"

#include <cstdio>
#include <system_error>

namespace ostrel {

namespace {

constexpr const char* kRecentRoot = "Software\\Vornic\\UserValues\\ListOfRecentValues\\";

std::u16string Format(const char* format, long number, const char* word = "") {
    char text[200];
    std::snprintf(text, sizeof text, format, number, word);
    return vr::FromUtf8(text);
}

} // namespace

std::u16string ShowControlCharacters(std::u16string_view text) {
    std::u16string shown;
    for (char16_t c : text) {
        if (c == u'\r') {
            shown += u'¬';
        } else if (c == u'\n') {
            shown += u"¶\n";
        } else {
            shown += c;
        }
    }
    return shown;
}

ConnectionTester::ConnectionTester(std::u16string name, IVrConnection* connection)
    : name_(std::move(name)), connection_(connection) {
    recent_.Load(kRecentRoot, "ConnectionSend:" + vr::ToUtf8(name_));
}

ConnectionTester::~ConnectionTester() {
    EndReading();
}

std::vector<std::string> ConnectionTester::RecentTexts() const {
    return recent_.Items();
}

void ConnectionTester::Send(const std::u16string& text) {
    if (reading_ || !connection_) {
        return;
    }
    int32_t written = 0;
    _bstr_t data(vr::FromUtf8(DecodeEscapes(vr::ToUtf8(text))).c_str());
    // A failed write shows itself: the reads that follow bring nothing, and the status says so.
    (void)connection_->WriteString(data, &written);
    reading_ = true;
    response_.clear();
    start_ = std::chrono::steady_clock::now();
    elapsedMs_ = 0;
    status_ = u"Receiving ...";
    StartRead();
    recent_.Add(vr::ToUtf8(text));
    recent_.Save();
}

void ConnectionTester::Stop() {
    if (!reading_) {
        return;
    }
    WaitForReader();
    bool gotText = false;
    if (readDone_.exchange(false) && !TakeInRead(&gotText)) {
        return; // the read failed: the status holds its code and reading has ended
    }
    EndReading();
    char text[200];
    std::snprintf(text, sizeof text, "End of Response (%ld msec). Read Status: '%s'.", elapsedMs_,
                  vr::ToUtf8(ReadStatusName()).c_str());
    status_ = vr::FromUtf8(text);
}

bool ConnectionTester::Tick() {
    if (!reading_ || !readDone_.exchange(false)) {
        return reading_;
    }
    WaitForReader(); // the reader has set its flag; it only leaves its apartment now
    bool gotText = false;
    if (!TakeInRead(&gotText)) {
        return false;
    }
    if (!gotText) {
        StartRead();
        return reading_;
    }
    VrReadStatus status = UnknownReason;
    HRESULT hr = connection_->get_LastReadStatus(&status);
    if (SUCCEEDED(hr) && status == EndIndicator) {
        EndReading();
        status_ = Format("End of Response (%ld msec). Read Status: 'EndIndicator'.", elapsedMs_);
        return false;
    }
    if (readText_.ends_with(kTerminationCharacter)) {
        // A socket has no end indicator: an answer ending at the termination character is whole. How the
        // read ended is the connection's word. A read asked for no terminator returns only at its time-out,
        // so when it ended so, the time is the read's wait, not the answer's: the status says so.
        EndReading();
        const char* format = SUCCEEDED(hr) && status == ReadTimeout
                                 ? "End of Response (within %ld msec: the read waited for its time-out). "
                                   "Read Status: '%s'."
                                 : "End of Response (%ld msec). Read Status: '%s'.";
        status_ = Format(format, elapsedMs_, vr::ToUtf8(ReadStatusName()).c_str());
        return false;
    }
    status_ = SUCCEEDED(hr) && status == ReadTimeout
                  ? Format("Receiving ... (%ld msec).", elapsedMs_)
                  : Format("Receiving ... (%ld msec). Read Status unknown.", elapsedMs_);
    StartRead();
    return reading_;
}

bool ConnectionTester::TakeInRead(bool* gotText) {
    if (FAILED(readResult_)) {
        EndReading();
        status_ = Format("Error: Couldn't read from the Connection, Code: 0x%08lX.",
                         static_cast<long>(static_cast<uint32_t>(readResult_)));
        return false;
    }
    *gotText = !readText_.empty();
    if (*gotText) {
        response_ += ShowControlCharacters(readText_);
        elapsedMs_ = ElapsedMs();
    }
    return true;
}

void ConnectionTester::StartRead() {
    IStream* stream = nullptr;
    HRESULT hr =
        CoMarshalInterThreadInterfaceInStream(vr::uuidof<IVrConnection>(), connection_.Get(), &stream);
    readDone_ = false;
    readerFinished_ = false;
    readResult_ = S_OK;
    readText_.clear();
    if (FAILED(hr) || !StartThread([this, stream] { ReadProc(stream); })) {
        if (stream) {
            stream->Release(); // the thread that would have taken it never started
        }
        // Nothing reads now, so nothing is left for Stop to wait for: the tester is idle again.
        EndReading();
        status_ = u"Can't CreateThread to Read from the Connection.";
        return;
    }
    readerRunning_ = true;
}

bool ConnectionTester::StartThread(std::function<void()> body) {
    try {
        reader_ = std::thread(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void ConnectionTester::ReadProc(IStream* stream) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    vr::ComPtr<IVrConnection> connection;
    HRESULT hr = CoGetInterfaceAndReleaseStream(stream, vr::uuidof<IVrConnection>(), connection.PutVoid());
    BSTR text = nullptr;
    if (SUCCEEDED(hr)) {
        _bstr_t noTerm(u"");
        hr = connection->ReadString(noTerm, -2, -1, &text);
    }
    readEnded_ = std::chrono::steady_clock::now();
    readResult_ = hr;
    readText_ = text ? std::u16string(text, SysStringLen(text)) : std::u16string();
    SysFreeString(text);
    connection = nullptr;
    readDone_.store(true, std::memory_order_release);
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    readerFinished_.store(true, std::memory_order_release);
}

void ConnectionTester::WaitForReader() {
    if (!readerRunning_) {
        return;
    }
    // The reader may call back into this apartment (a proxy's calls queue here), so serve the queue.
    while (!readerFinished_.load(std::memory_order_acquire)) {
        vr::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    readerRunning_ = false;
}

void ConnectionTester::EndReading() {
    WaitForReader();
    reading_ = false;
}

long ConnectionTester::ElapsedMs() const {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(readEnded_ - start_).count());
}

std::u16string ConnectionTester::ReadStatusName() {
    VrReadStatus status = UnknownReason;
    if (FAILED(connection_->get_LastReadStatus(&status))) {
        return u"UnknownReason";
    }
    switch (status) {
    case EndIndicator:
        return u"EndIndicator";
    case MaxCount:
        return u"MaxCount";
    case TerminationString:
        return u"TerminationString";
    case ReadTimeout:
        return u"ReadTimeout";
    case UnknownReason:
        break;
    }
    return u"UnknownReason";
}

} // namespace ostrel
