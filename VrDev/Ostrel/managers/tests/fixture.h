// The hardware manager of one test: `rigmont` started on demand with a store in a fresh folder, the records
// "_default" of both types, and a loopback instrument answering with CR LF.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "peers.h"
#include "platform/com/apartment.h"
#include "platform/com/comptr.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace ostreltest {

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Stores a connection record to the loopback instrument with the setup string given.
    void SaveLoopback(const std::u16string& name, const std::u16string& setup = u"");
    // The stored record's server, resource and setup, or "<missing>" as the server.
    std::u16string StoredRecord(const std::u16string& type, const std::u16string& name);
    // Runs ticks as a window's timer does while the tester reads, until done() or ticks run out, serving
    // the apartment's queue between them as a window's event loop does.
    template <class Tester, class Done>
    void TickUntil(Tester& tester, Done done, int ticks = 2000);

    std::string folder;
    vrvisatest::LoopbackInstrument instrument;
    vr::ComPtr<IVrRigmont> rigmont;
};

template <class Tester, class Done>
void ManagerTest::TickUntil(Tester& tester, Done done, int ticks) {
    for (int tick = 0; tick < ticks && tester.Tick() && !done(); ++tick) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        (void)vr::PumpMessages(); // the number of calls run does not matter
    }
}

} // namespace ostreltest
