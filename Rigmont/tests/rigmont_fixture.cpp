// The manager tests' fixture: store files, the configuration item, and result helpers.
#include "rigmont_fixture.h"

#include "common/config/VrConfigData.h"
#include "platform/com/activation.h"
#include "platform/com/errorinfo.h"
#include "platform/com/variant.h"
#include "tests/support/test_env.h"

#include <fstream>
#include <iterator>

namespace rigmonttest {

VARIANT TextArgument(std::u16string_view text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = vr::AllocBstr(text);
    return value;
}

std::vector<std::u16string> StringsOf(const VARIANT& value) {
    std::vector<std::u16string> strings;
    EXPECT_EQ(value.vt, VT_ARRAY | VT_VARIANT);
    if (value.vt != (VT_ARRAY | VT_VARIANT) || !value.parray) {
        return strings;
    }
    LONG lower = 0;
    LONG upper = -1;
    EXPECT_EQ(SafeArrayGetLBound(value.parray, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(value.parray, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT element;
        VariantInit(&element);
        EXPECT_EQ(SafeArrayGetElement(value.parray, &i, &element), S_OK);
        EXPECT_EQ(element.vt, VT_BSTR);
        strings.emplace_back(vr::BstrView(element.bstrVal));
        (void)VariantClear(&element);
    }
    return strings;
}

std::string StandardStore() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<ConfigStore>
	<connections>
		<connection name="_default">
			<Server>RigmontTest.Connection</Server>
			<SetupString>Connection:Simulation=Off</SetupString>
		</connection>
		<connection name="Meter">
			<Resource>TCPIP0::127.0.0.1::5025::SOCKET</Resource>
			<SetupString>VISA:Timeout=3000</SetupString>
		</connection>
		<connection name="ASRL1::INSTR"/>
	</connections>
	<sockets>
		<socket name="_default">
			<Server>RigmontTest.Socket</Server>
			<SetupString>AdapterFile=dmm.daf</SetupString>
		</socket>
		<socket name="Dmm">
			<Resource>Meter</Resource>
			<SetupString>Range=10</SetupString>
		</socket>
		<socket name="Orphan">
			<Resource>Nowhere</Resource>
		</socket>
	</sockets>
</ConfigStore>
)";
}

void RigmontTest::SetUp() {
    comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
    ASSERT_TRUE(comInitialized_);
    providers_ = std::make_unique<FakeProviderRegistration>();
    folder_ = vrtest::MakeFreshFolder("rigmont");
    storePath_ = folder_ + "/HwConfigStore.cfs";
}

void RigmontTest::TearDown() {
    manager_ = nullptr;
    providers_.reset();
    if (comInitialized_) {
        CoUninitialize();
    }
}

void RigmontTest::WriteStore(const std::string& content) const {
    std::ofstream file(storePath_, std::ios::binary | std::ios::trunc);
    file << content;
}

std::string RigmontTest::StoreBytes() const {
    std::ifstream file(storePath_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void RigmontTest::MakeManager(const std::string& path) {
    CVrConfigData config;
    BSTR value = vr::AllocBstrUtf8(path);
    ASSERT_TRUE(config.StoreItem("ConfigStoreFile", value));
    SysFreeString(value);
    manager_ = nullptr;
    ASSERT_EQ(vr::ComObject<rigmont::CVrRigmont>::Create(&manager_), S_OK);
}

void RigmontTest::UseStore(const std::string& content) {
    WriteStore(content);
    MakeManager(storePath_);
}

std::vector<std::u16string> RigmontTest::RecordNames(std::u16string_view type) {
    VARIANT names;
    VariantInit(&names);
    EXPECT_EQ(manager_->GetRecordNames(Bstr(type), &names), S_OK);
    std::vector<std::u16string> strings = StringsOf(names);
    (void)VariantClear(&names);
    return strings;
}

} // namespace rigmonttest
