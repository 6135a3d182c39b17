// ConnectionTester: the studio's connection tester without widgets: sends a text to a connection and
// gathers its answer, read by a thread of its own, one read at a time.
//
// Usage (window thread, in a single-threaded apartment):
//     ConnectionTester tester(u"Meter", connection);
//     tester.Send(u"*IDN?");
//     while (tester.Tick()) ... call again about every 10 ms (a window's timer) ...
//     tester.Stop();                       // while reading: waits for the pending read
//
// The text sent is the send field's as typed: "\n", "\r" and "\\" stand for a line feed, a carriage return
// and a backslash, as in every attribute value the studio edits. A read asks the connection for whatever
// arrives within its own time-out. An answer that ends with the connection's end indicator, or whose read
// ends at the termination character (a line feed, VISA's default), ends the reading by itself; otherwise
// reads follow each other until Stop, which reports how the last read really ended. Carriage returns show
// as "¬", line feeds as "¶" and a line break.
//
// Threads: every member on the thread that made the object. The reader thread gets the connection only
// marshalled and touches nothing but the read's result. A connection of another process (the hardware
// manager's) reaches the reader as a proxy that calls that process directly, so the window thread runs its
// events while a read is pending. Stop and the destructor wait for a pending read (serving the apartment's
// queued calls meanwhile), so they last at most the connection's read time-out.
// Failures: shown in Status(); nothing throws.
#pragma once

#include "common/attrvalues/RecentValues.h"
#include "instruments/Instrel/include/instrel.h"
#include "platform/com/comptr.h"
#include "platform/com/stream.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ostrel {

// The character at which an answer ends.
inline constexpr char16_t kTerminationCharacter = u'\n';

class ConnectionTester {
public:
    // Keeps one reference to the connection; name is the connection record's name.
    ConnectionTester(std::u16string name, IVrConnection* connection);
    // Ends reading, waiting for the pending read.
    virtual ~ConnectionTester();
    ConnectionTester(const ConnectionTester&) = delete;
    ConnectionTester& operator=(const ConnectionTester&) = delete;

    // Writes the text as typed (its escapes decoded) and starts reading its answer; not while reading. The
    // typed text is kept among the recent texts.
    void Send(const std::u16string& text);
    // Ends reading: waits for the pending read, shows what it brought and how it ended.
    void Stop();
    // One tick of the window's timer: takes in a finished read and starts the next one; true while reading.
    bool Tick();

    bool Reading() const { return reading_; }
    const std::u16string& Response() const { return response_; }
    const std::u16string& Status() const { return status_; }
    // The texts sent earlier to this connection, oldest first (at most ten, kept per connection name).
    std::vector<std::string> RecentTexts() const;

protected:
    // Runs body on a new thread; false when no thread could be made. A seam for the failure path.
    virtual bool StartThread(std::function<void()> body);

private:
    enum class ReadStep { kTakenIn, kNothing };
    void StartRead();
    void ReadProc(IStream* stream);
    // Waits for the reader thread, serving the apartment's queue, and joins it.
    void WaitForReader();
    void EndReading();
    // Appends a finished read's text; false when the read failed (the status says so, reading ended).
    bool TakeInRead(bool* gotText);
    // From Send until the last read that brought text returned.
    long ElapsedMs() const;
    std::u16string ReadStatusName();

    std::u16string name_;                         // window thread
    vr::ComPtr<IVrConnection> connection_;        // window thread
    bool reading_ = false;                        // window thread
    bool readerRunning_ = false;                  // window thread: a reader thread was started and not joined
    std::chrono::steady_clock::time_point start_; // window thread
    long elapsedMs_ = 0;                          // window thread
    std::u16string response_;                     // window thread
    std::u16string status_;                       // window thread
    std::thread reader_;                          // window thread starts and joins it
    std::atomic<bool> readDone_{false};           // set by the reader (release), read by the window thread
    std::atomic<bool> readerFinished_{false}; // set by the reader as its last step; the window thread joins
    HRESULT readResult_ = S_OK;               // written by the reader before readDone_
    std::u16string readText_;                 // written by the reader before readDone_
    std::chrono::steady_clock::time_point readEnded_; // when ReadString returned; written before readDone_
    RecentValues recent_{10};                         // window thread
};

// The answer's text as the tester shows it: CR as "¬", LF as "¶" and a line break.
std::u16string ShowControlCharacters(std::u16string_view text);

} // namespace ostrel
