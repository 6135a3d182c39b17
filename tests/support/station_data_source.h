// The station's results data source and driver list, given back when a test ends: a test that points the
// station at a database of its own (and its own ODBCSYSINI) and stops that server leaves the next test of
// the same program the station's own, not a dead one.
//
// Usage: a fixture member `vrtest::StationDataSourceScope stationDataSource;` made in SetUp (or the fixture's
// constructor) after the test's registry is in place. Test thread only; the registry value and the
// environment are the process's.
#pragma once

#include "common/config/VrConfigData.h"
#include "platform/com/comutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace vrtest {

class StationDataSourceScope {
public:
    StationDataSourceScope() {
        EXPECT_TRUE(CVrConfigData().GetItem("DSN", dsn_.GetAddress(), true));
        if (const char* drivers = std::getenv("ODBCSYSINI")) {
            drivers_ = drivers;
        }
    }
    ~StationDataSourceScope() {
        EXPECT_TRUE(CVrConfigData().StoreItem("DSN", dsn_));
        if (drivers_) {
            setenv("ODBCSYSINI", drivers_->c_str(), 1);
        } else {
            unsetenv("ODBCSYSINI");
        }
    }
    StationDataSourceScope(const StationDataSourceScope&) = delete;
    StationDataSourceScope& operator=(const StationDataSourceScope&) = delete;

private:
    _bstr_t dsn_;                        // the station's data source when the scope began
    std::optional<std::string> drivers_; // ODBCSYSINI then, if it was set
};

} // namespace vrtest
