// The road of one test in this process: a worker with the real test engine and script executive, the
// `rigmont` program started on demand with a configuration store of this test, a socket record `Supply`
// (the power supply's adapter) over the connection record `RoadLink` to a loopback instrument, and a fresh
// SQLite results database.
#pragma once

#include "Rigmont/include/rigmont.h"
#include "common/worker/TestExecutive.h"
#include "peers.h"
#include "platform/com/comptr.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace roadtest {

using OutputLine = std::pair<LONG, std::u16string>;
using Row = std::vector<std::u16string>;

class RoadTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Points `RoadLink` at the instrument's resource with the simulation settings given (a setup string).
    void SaveLink(std::u16string_view setup);
    // A new worker; fails the test when its engine or script executive cannot be made.
    void StartWorker();
    // Sets the road's script with the serial number given and loads it.
    void LoadScript(std::u16string_view sn);
    // Posts a request and pumps, draining the output into `output`, until it is done; the result text.
    std::u16string Run(std::u16string_view name);
    HRESULT ErrorCode();
    std::u16string ErrorText();
    // The stored result rows as TestResultID, TestResultValue, TestStatus, Description, SN.
    std::vector<Row> StoredRows();

    std::string folder;
    std::string dsn;
    std::string logFile;
    vrvisatest::LoopbackInstrument instrument;
    vr::ComPtr<IVrRigmont> manager;
    std::unique_ptr<CTestExecutive> worker;
    std::vector<OutputLine> output;
};

} // namespace roadtest
