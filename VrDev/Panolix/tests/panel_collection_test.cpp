// The object collection on panel files, headless: objects of a test type made by the collection's factory
// and a host without windows. Names are given afresh in file order, unknown types are skipped, a bad object
// empties the collection, and saving writes the objects back under their new names.
#include "VrDev/Panolix/PanelObjects.h"
#include "VrDev/Panolix/tests/headless_objects.h"
#include "common/xmlfile/XmlFile.h"
#include "platform/base/text.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace panolixtest {
namespace {

using namespace panolix;

class PanelObjectsTest : public ::testing::Test {
protected:
    PanelObjectsTest() : objects(host, nullptr, MakeTestObject) { host.objects = &objects; }

    // A panel file of these object elements; the file is loaded.
    CXmlFile& Panel(const std::string& elements) {
        path = vrtest::MakeFreshFolder("objects") + "/panel.pnx";
        std::ofstream(path) << "<panel language='JScript'><objects>" << elements << "</objects></panel>";
        wide = vr::FromUtf8(path);
        file = std::make_unique<CXmlFile>(wide.c_str());
        EXPECT_EQ(file->Load(), S_OK);
        return *file;
    }

    HeadlessHost host;
    CPObjects objects;
    std::string path;
    std::u16string wide;
    std::unique_ptr<CXmlFile> file;
};

TEST_F(PanelObjectsTest, ObjectsAreNamedAfreshInFileOrderAndSavedBackUnderThoseNames) {
    CXmlFile& panel =
        Panel("<object name='a' type='Control' x='1' y='2' width='30' height='40' description='A'>"
              "<getscript>x = 1;</getscript></object>"
              "<object name='skip' type='button' x='0' y='0' width='1' height='1'/>"
              "<object name='b' type='GRAPH' x='50' y='5' width='10' height='100'/>");
    ASSERT_EQ(objects.LoadAll(panel), S_OK);
    ASSERT_EQ(objects.Count(), 2u);
    EXPECT_EQ(objects.At(0)->Name(), u"obj0");
    EXPECT_EQ(std::u16string(objects.At(0)->GetType()), u"control");
    EXPECT_EQ(objects.At(0)->GetScript(), u"x = 1;");
    EXPECT_EQ(objects.At(0)->Language(), u"JScript");
    EXPECT_EQ(objects.At(1)->Name(), u"obj1");
    PanelExtent extent = objects.GetExtent();
    EXPECT_EQ(extent.minX, 1);
    EXPECT_EQ(extent.minY, 2);
    EXPECT_EQ(extent.maxRight, 60);
    EXPECT_EQ(extent.maxBottom, 105);
    EXPECT_EQ(objects.ObjectAt(32, 3), objects.At(0)); // within 2 pixels of the rectangle
    EXPECT_EQ(objects.ObjectAt(40, 3), nullptr);

    vr::xml::Node emptied;
    ASSERT_EQ(panel.GetElement(u"/panel/objects", &emptied), S_OK);
    while (emptied.firstChild()) {
        ASSERT_EQ(emptied.removeChild(emptied.firstChild()), S_OK);
    }
    ASSERT_EQ(objects.SaveAll(panel), S_OK);
    ASSERT_EQ(panel.Save(), S_OK);
    std::stringstream saved;
    saved << std::ifstream(path).rdbuf();
    EXPECT_NE(saved.str().find("name=\"obj0\" type=\"control\" x=\"1\""), std::string::npos) << saved.str();
    EXPECT_NE(saved.str().find("name=\"obj1\" type=\"graph\""), std::string::npos) << saved.str();
    EXPECT_EQ(saved.str().find("button"), std::string::npos);
}

TEST_F(PanelObjectsTest, AnObjectThatDoesNotLoadEmptiesTheCollection) {
    CXmlFile& panel = Panel("<object type='group' x='1' y='1' width='5' height='5'/>"
                            "<object type='control' x='abc' y='1' width='5' height='5'/>");
    EXPECT_TRUE(FAILED(objects.LoadAll(panel)));
    EXPECT_EQ(objects.Count(), 0u);
    EXPECT_EQ(objects.NewName(), u"obj0");

    CXmlFile& untyped = Panel("<object x='1' y='1' width='5' height='5'/>");
    EXPECT_TRUE(FAILED(objects.LoadAll(untyped)));

    CXmlFile& empty = Panel("");
    EXPECT_EQ(objects.LoadAll(empty), S_OK);
    PanelExtent extent = objects.GetExtent();
    EXPECT_EQ(extent.minX, INT_MAX);
    EXPECT_EQ(extent.minY, INT_MAX);
    EXPECT_EQ(extent.maxRight, INT_MIN);
    EXPECT_EQ(extent.maxBottom, INT_MIN);
}

} // namespace
} // namespace panolixtest
