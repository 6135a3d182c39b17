// The editor control editing the attribute collection of a VISA connection that lives in the hardware
// manager's process (`rigmont`, started on demand, its connection to a loopback instrument): every call of
// the form crosses into that process. With VR_FORMIQ_SCREENSHOT set, the control is also saved as
// docs/formiq.png (run it under xvfb-run with VR_TEST_QPA_PLATFORM=xcb for real fonts).
#include "Rigmont/include/rigmont.h"
#include "common/config/VrConfigData.h"
#include "common/proxies/SystemProxies.h"
#include "common/widgets/Formiq.h"
#include "formiq_test_support.h"
#include "peers.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/ui/tests/test_application.h"
#include "tests/support/com_holders.h"
#include "tests/support/test_env.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

using formiqtest::RowCombo;
using formiqtest::ValueOf;
using vrtest::Bstr;

class FormiqConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        vrtest::TestApplication();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        vr::RegisterSystemProxies();
        ASSERT_TRUE(instrument.Start("\\r\\n"));
        std::string folder = vrtest::MakeFreshFolder("formiq");
        std::string store = folder + "/FormiqStore.cfs";
        std::ofstream(store) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConfigStore><connections>"
                                "<connection name=\"_default\"><Server>Vornic.CnVISA</Server></connection>"
                                "</connections><sockets/></ConfigStore>\n";
        CVrConfigData config;
        BSTR text = vr::AllocBstrUtf8(store);
        ASSERT_TRUE(config.StoreItem("ConfigStoreFile", text));
        SysFreeString(text);
        ASSERT_EQ(CoCreateInstance(CLSID_VrRigmont, nullptr, CLSCTX_LOCAL_SERVER, IID_IVrRigmont,
                                   manager.PutVoid()),
                  S_OK);
        ASSERT_EQ(manager->SaveRecord(Bstr(u"connection"), Bstr(u"FormLink"), Bstr(u"Vornic.CnVISA"),
                                      Bstr(vr::FromUtf8(instrument.SocketResource())), Bstr(u"")),
                  S_OK);
        VARIANT noSetup;
        VariantInit(&noSetup);
        noSetup.vt = VT_ERROR;
        noSetup.scode = DISP_E_PARAMNOTFOUND;
        ASSERT_EQ(manager->CreateConnection(Bstr(u"FormLink"), noSetup, connection.Put()), S_OK);
        ASSERT_EQ(connection->get_Attributes(attributes.Put()), S_OK);
        parent = std::make_unique<QWidget>();
        parent->resize(460, 330);
        parent->setWindowTitle("Connection settings");
    }
    void TearDown() override {
        parent.reset();
        attributes = nullptr;
        connection = nullptr;
        manager = nullptr;
        CoUninitialize();
    }

    vrvisatest::LoopbackInstrument instrument;
    vr::ComPtr<IVrRigmont> manager;
    vr::ComPtr<IVrConnection> connection;
    vr::ComPtr<IVrAttributeCollection> attributes;
    std::unique_ptr<QWidget> parent;
};

TEST_F(FormiqConnectionTest, EditedRowIsStoredIntoTheConnectionOfTheHardwareManager) {
    CFormiq form;
    ASSERT_TRUE(form.Create("Connection", QRect(0, 0, 460, 330), parent.get(), 1));
    ASSERT_TRUE(form.Init(attributes.Get(), nullptr, 230, "IncludeAttributeQualifiers='Connection VISA'",
                          "Connection:SimulationFile=run.csf Baud=1",
                          "Timeout='NotEditable=false MaxNumOfRecentValues=0 EditChangeDelay=0'"));
    QComboBox* timeout = RowCombo(form.Widget(), "VISA:Timeout");
    ASSERT_NE(timeout, nullptr) << form.GetAttributes();
    EXPECT_EQ(timeout->currentText(), QString::fromStdString(ValueOf(attributes.Get(), "VISA:Timeout")));
    timeout->lineEdit()->clear();
    QTest::keyClicks(timeout->lineEdit(), "3500");
    QCoreApplication::sendPostedEvents();
    std::string settings = form.GetAttributes();
    EXPECT_NE(settings.find("VISA:Timeout=3500"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Connection:SimulationFile=run.csf"), std::string::npos) << settings;
    EXPECT_EQ(settings.substr(settings.size() - 7), " Baud=1") << settings;

    form.StoreAttributeValues();

    // Read back through the connection itself, as any other client of the hardware manager sees it.
    vr::ComPtr<IVrAttributeCollection> again;
    ASSERT_EQ(connection->get_Attributes(again.Put()), S_OK);
    EXPECT_EQ(ValueOf(again.Get(), "VISA:Timeout"), "3500");
    EXPECT_EQ(ValueOf(again.Get(), "Connection:SimulationFile"), "run.csf");

    if (std::getenv("VR_FORMIQ_SCREENSHOT")) {
        parent->show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(parent->grab().save(VR_FORMIQ_DOCS "/formiq.png"));
    }
}

} // namespace
