// Configuration items set by a test in its own registry, for the programs it starts to read.
#pragma once

#include "common/config/VrConfigData.h"
#include "platform/com/bstr.h"

#include <gtest/gtest.h>

#include <string>

namespace scrivontest {

inline void StoreItem(const char* name, const std::string& value) {
    CVrConfigData config;
    BSTR text = vr::AllocBstrUtf8(value);
    EXPECT_TRUE(config.StoreItem(name, text)) << name;
    SysFreeString(text); // borrowed by StoreItem
}

} // namespace scrivontest
