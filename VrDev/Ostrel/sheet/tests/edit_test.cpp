// One edit on each page of the sheet, on the offscreen platform, in a hand-written adapter file (comments, an
// annotated attribute, a named simple type, inline operations, an action of its own): a time-out and a
// sequence line on the Device page, an attribute's default on the Attributes page, an operation's result on
// the Operations page. An XML diff of the saved file against the original shows those four changes and
// nothing else, and the socket loads the saved file.
#include "VrDev/Ostrel/operations/OperationsPage.h"
#include "VrDev/Ostrel/sheet/AttributesPage.h"
#include "VrDev/Ostrel/sheet/DevicePage.h"
#include "VrDev/Ostrel/sheet/RecordingMessages.h"
#include "common/options/ParamParser.h"
#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "platform/base/text.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/comutil.h"
#include "platform/ui/tests/test_application.h"
#include "plugmar.h"
#include "tests/support/test_env.h"

#include <QLineEdit>
#include <QTest>
#include <QTextEdit>

#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace ostrel;
using vr::xml::Node;

std::string U8(const std::u16string& text) {
    return vr::ToUtf8(text);
}

// A node's place in a diff: the element's name, with its name attribute where it has one.
std::string Step(const Node& node) {
    if (node.nodeType() != vr::xml::NODE_ELEMENT) {
        return node.nodeType() == vr::xml::NODE_COMMENT ? "comment()" : "text()";
    }
    std::u16string name;
    const bool named = node.getAttribute(u"name", &name) == S_OK;
    return U8(node.nodeName()) + (named ? "[" + U8(name) + "]" : "");
}

// What identifies a node among its siblings: element name and name attribute, or a text's whole content.
std::u16string Key(const Node& node) {
    return node.nodeType() == vr::xml::NODE_ELEMENT ? vr::FromUtf8(Step(node)) : node.xml();
}

// The differences between two trees, one line each: "path/@attribute: 'was' -> 'is'", "path: + node",
// "path: - node", "path: attributes in another order". Children are paired by a longest common run of their
// keys; paired elements are compared in turn.
void Diff(const Node& was, const Node& is, const std::string& path, std::vector<std::string>* lines) {
    const vr::xml::NamedNodeMap before = was.attributes();
    const vr::xml::NamedNodeMap after = is.attributes();
    for (int32_t i = 0; i < after.length(); ++i) {
        const Node old = before.getNamedItem(after.item(i).nodeName());
        if (!old || old.nodeValue() != after.item(i).nodeValue()) {
            lines->push_back(path + "/@" + U8(after.item(i).nodeName()) + ": '" +
                             (old ? U8(old.nodeValue()) : "") + "' -> '" + U8(after.item(i).nodeValue()) +
                             "'");
        }
    }
    std::vector<std::u16string> kept; // the attributes both have, in the order of each
    std::vector<std::u16string> keptAfter;
    for (int32_t i = 0; i < before.length(); ++i) {
        if (!after.getNamedItem(before.item(i).nodeName())) {
            lines->push_back(path + "/@" + U8(before.item(i).nodeName()) + ": removed");
        } else {
            kept.push_back(before.item(i).nodeName());
        }
    }
    for (int32_t i = 0; i < after.length(); ++i) {
        if (before.getNamedItem(after.item(i).nodeName())) {
            keptAfter.push_back(after.item(i).nodeName());
        }
    }
    if (kept != keptAfter) {
        lines->push_back(path + ": attributes in another order");
    }
    const vr::xml::NodeList wasChildren = was.childNodes();
    const vr::xml::NodeList isChildren = is.childNodes();
    const std::vector<Node> a(wasChildren.begin(), wasChildren.end());
    const std::vector<Node> b(isChildren.begin(), isChildren.end());
    std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
    for (size_t i = a.size(); i-- > 0;) {
        for (size_t j = b.size(); j-- > 0;) {
            common[i][j] = Key(a[i]) == Key(b[j]) ? common[i + 1][j + 1] + 1
                                                  : std::max(common[i + 1][j], common[i][j + 1]);
        }
    }
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && Key(a[i]) == Key(b[j])) {
            if (a[i].nodeType() == vr::xml::NODE_ELEMENT) {
                Diff(a[i], b[j], path + "/" + Step(a[i]), lines);
            }
            ++i;
            ++j;
        } else if (j < b.size() && (i == a.size() || common[i][j + 1] >= common[i + 1][j])) {
            lines->push_back(path + ": + " + U8(b[j++].xml()));
        } else {
            lines->push_back(path + ": - " + U8(a[i++].xml()));
        }
    }
}

std::vector<std::string> FileDiff(const std::u16string& was, const std::u16string& is) {
    CDeviceAdapterFile before(was.c_str());
    CDeviceAdapterFile after(is.c_str());
    EXPECT_EQ(before.Load(), S_OK);
    EXPECT_EQ(after.Load(), S_OK);
    std::vector<std::string> lines;
    Diff(before.GetDocument().documentElement(), after.GetDocument().documentElement(), "", &lines);
    return lines;
}

bool SocketLoads(const std::u16string& path) {
    vr::ComPtr<IVrSocket> socket;
    vr::ComPtr<IVrSocketProcessor> processor;
    _bstr_t options(u"");
    return AppendParam(options.GetAddress(), u"AdapterFile", path.c_str(), u" ", true) &&
           SUCCEEDED(CoCreateInstance(CLSID_Socket, nullptr, CLSCTX_INPROC_SERVER, vr::uuidof<IVrSocket>(),
                                      socket.PutVoid())) &&
           SUCCEEDED(socket.As(&processor)) && SUCCEEDED(processor->LoadInfo(options));
}

TEST(SheetEditTest, OneEditOnEachPageChangesOnlyThatInAHandWrittenFile) {
    vrtest::TestApplication();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const fs::path folder = vrtest::MakeFreshFolder("ostrel-edit");
    const std::u16string original = vr::FromUtf8(VR_TEST_DATA "/handwritten_meter.daf");
    const std::u16string path = vr::FromUtf8((folder / "meter.daf").string());
    fs::copy_file(VR_TEST_DATA "/handwritten_meter.daf", folder / "meter.daf");
    RecordingMessages messages;
    {
        SheetContext context(messages);
        ASSERT_EQ(context.SetAdapterFile(path), S_OK);
        std::unique_ptr<SheetPage> operationsPage = MakeOperationsPage(context);
        std::unique_ptr<SheetPage> attributesPage = MakeAttributesPage(context);
        std::unique_ptr<SheetPage> devicePage = MakeDevicePage(context);
        for (SheetPage* page : {operationsPage.get(), attributesPage.get(), devicePage.get()}) {
            page->FileShown();
        }

        // Device page: the time-out, and one more line of the open sequence.
        auto* device = static_cast<DevicePage*>(devicePage.get());
        device->Enter();
        AttrValueCombo* timeout = device->Row(kTimeoutRow)->Combo();
        timeout->lineEdit()->clear();
        QTest::keyClicks(timeout->lineEdit(), QStringLiteral("2500"));
        device->OpenSequence()->moveCursor(QTextCursor::End);
        QTest::keyClicks(device->OpenSequence(), QStringLiteral("Identify"));
        ASSERT_TRUE(device->Leave());

        // Attributes page: the shown attribute's default.
        auto* attributes = static_cast<AttributesPage*>(attributesPage.get());
        attributes->Enter();
        ASSERT_EQ(attributes->Model().CurrentName(), u"Function");
        std::optional<std::u16string> edited = attributes->Model().Editor().EditRow(u"default", u"CURR");
        ASSERT_TRUE(edited) << U8(attributes->Model().Editor().StatusText());
        attributes->Model().OnElementChanged(*edited);

        // Operations page: one operation's result, saved.
        auto* operations = static_cast<OperationsPage*>(operationsPage.get());
        operations->Enter();
        ASSERT_TRUE(operations->Model().ChooseOperation(u"get_Range"));
        operations->Model().SetResult(u"out:range");
        ASSERT_EQ(operations->Model().SaveOperation(), S_OK) << U8(messages.LastText());
        ASSERT_TRUE(operations->Leave());
        ASSERT_EQ(context.SaveFile(), S_OK);
        EXPECT_TRUE(messages.boxes.empty()) << U8(messages.LastText());
    }

    const std::string function = "/attributes/xsd:schema/xsd:element[Function]";
    EXPECT_EQ(FileDiff(original, path), (std::vector<std::string>{
                                            "/device/@timeout: '2000' -> '2500'",
                                            function + "/@default: 'VOLT' -> 'CURR'",
                                            "/operation[get_Range]/@result: 'range' -> 'out:range'",
                                            "/action[_Open]: + \n    ",
                                            "/action[_Open]: + <reference name=\"Identify\"/>",
                                        }));
    EXPECT_TRUE(SocketLoads(path));
    CoUninitialize();
}

} // namespace
