// The panel objects in design mode and on file, with windows on the offscreen platform and no scripts: hit
// tests, dragging (resize limit, Ctrl-copy, Escape), frames, the group's border band, loading and saving, the
// picture's image file, and the dialogs' script edits and fields.
#include "PanelDialogs.h"
#include "PanelObjectControl.h"
#include "PanelObjectKinds.h"
#include "PanelWidgets.h"
#include "panel_host.h"

#include "common/widgets/AttrValueCombo.h"
#include "common/widgets/AttrValueEditor.h"
#include "common/xmlfile/XmlFile.h"
#include "platform/ui/modal.h"
#include "platform/ui/tests/test_application.h"

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace panolixtest {
namespace {

class PanelObjectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)vrtest::TestApplication();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        host = std::make_unique<FakeHost>();
    }
    void TearDown() override {
        host.reset();
        CoUninitialize();
    }

    // A group box at 10,10 of 100 x 80 (a group needs no scripts and no templates).
    CPObject& Group() {
        auto group = std::make_unique<CPObjectGroup>(*host, nullptr);
        group->SetName(host->NewName());
        group->SetDescription(u"Group");
        group->SetPosition(10, 10);
        group->SetSize(100, 80);
        group->SetBounds({0, 0, 300, 200});
        EXPECT_EQ(group->Initialize(true), S_OK);
        host->AddObject(std::move(group));
        return *host->objects.back();
    }
    bool Mouse(CPObject& object, PanelMouseAction action, int x, int y, bool control = false,
               bool design = true) {
        bool redraw = false;
        return object.OnMouse({action, x, y, action != PanelMouseAction::LeftUp, control}, &redraw, design);
    }

    std::unique_ptr<FakeHost> host;
};

TEST_F(PanelObjectsTest, HitsReachTwoPixelsOutAndAGroupOnlyOnItsBorderBand) {
    CPObject& group = Group();
    auto control = std::make_unique<CPObjectControl>(*host, nullptr);
    control->SetPosition(10, 10);
    control->SetSize(100, 80);
    EXPECT_TRUE(control->HitTest(8, 8));
    EXPECT_FALSE(control->HitTest(7, 50));
    EXPECT_TRUE(control->HitTest(112, 92));
    EXPECT_TRUE(group.HitTest(8, 50));
    EXPECT_TRUE(group.HitTest(22, 50));  // 12 pixels in
    EXPECT_FALSE(group.HitTest(23, 50)); // further in: the object under it gets the click
    EXPECT_TRUE(group.HitTest(60, 88));
    ASSERT_TRUE(static_cast<CPObjectGroup&>(group).GroupBox());
    EXPECT_TRUE(
        static_cast<CPObjectGroup&>(group).GroupBox()->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(PanelObjectsTest, DragsResizeNoSmallerThanFiveMoveWithinBoundsAndEscapeRestores) {
    CPObject& group = Group();
    ASSERT_TRUE(Mouse(group, PanelMouseAction::LeftDown, 110, 90)); // the bottom-right corner
    EXPECT_EQ(group.DragMode(), PanelDragMode::ResizeBottomRight);
    EXPECT_TRUE(host->hidden);
    Mouse(group, PanelMouseAction::Move, -50, -60);
    EXPECT_EQ(group.DragRect(), QRect(10, 10, 5, 5));
    Mouse(group, PanelMouseAction::LeftUp, -50, -60);
    EXPECT_EQ(group.Rect(), QRect(10, 10, 5, 5));
    EXPECT_FALSE(host->hidden);
    EXPECT_EQ(host->fits, 1);

    group.SetSize(100, 80);
    ASSERT_TRUE(Mouse(group, PanelMouseAction::LeftDown, 12, 12));
    EXPECT_EQ(group.DragMode(), PanelDragMode::Move);
    Mouse(group, PanelMouseAction::Move, 1000, 1000);
    EXPECT_EQ(group.DragRect().topLeft(), QPoint(300, 200)); // at most the bounds' right and bottom
    group.EndDrag(true);
    EXPECT_EQ(group.Rect(), QRect(10, 10, 100, 80));
    EXPECT_FALSE(group.IsDragging());
    EXPECT_TRUE(static_cast<CPObjectGroup&>(group).GroupBox()); // its windows are back
}

TEST_F(PanelObjectsTest, ACtrlDragLeavesTheObjectAndAddsACopyWithTheNextName) {
    CPObject& group = Group();
    ASSERT_TRUE(Mouse(group, PanelMouseAction::LeftDown, 50, 11, true));
    EXPECT_EQ(group.DragMode(), PanelDragMode::Copy);
    EXPECT_EQ(host->cursor, Qt::UpArrowCursor);
    Mouse(group, PanelMouseAction::Move, 150, 111, true);
    Mouse(group, PanelMouseAction::LeftUp, 150, 111, true);
    ASSERT_EQ(host->objects.size(), 2u);
    EXPECT_EQ(group.Rect(), QRect(10, 10, 100, 80));
    CPObject& copy = *host->objects[1];
    EXPECT_EQ(copy.Name(), u"obj1");
    EXPECT_EQ(copy.GetType(), std::u16string(u"group"));
    EXPECT_EQ(copy.Rect(), QRect(110, 110, 100, 80));
    EXPECT_EQ(copy.Description(), u"Group");
}

TEST_F(PanelObjectsTest, OutsideDesignModeNothingDragsAndNoFrameIsDrawn) {
    CPObject& group = Group();
    EXPECT_FALSE(Mouse(group, PanelMouseAction::LeftDown, 50, 11, false, false));
    EXPECT_FALSE(group.IsDragging());
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        group.DrawFrame(painter, false);
    }
    auto framed = [&image] {
        int marked = 0;
        for (int x = 0; x < image.width(); ++x) {
            marked += image.pixel(x, 10) != QColor(Qt::white).rgb() ? 1 : 0;
        }
        return marked;
    };
    EXPECT_EQ(framed(), 0);
    {
        QPainter painter(&image);
        group.DrawFrame(painter, true);
    }
    EXPECT_GT(framed(), 10);
}

TEST_F(PanelObjectsTest, ObjectsLoadAndSaveTheirElementAndABadIntegerFailsTheLoad) {
    QTemporaryDir folder;
    std::u16string path = (folder.path() + "/panel.pnx").toStdU16String();
    CXmlFile file(path.c_str());
    ASSERT_EQ(file.CreateDocument(
                  u"<panel><objects>"
                  u"<object type='Group' x='5' y='6' width='70' height='40' description='G &apos;1'>"
                  u"<initscript></initscript><getscript>x = 1;</getscript></object>"
                  u"<object type='group' x='abc' y='6' width='70' height='40'/>"
                  u"</objects></panel>"),
              S_OK);
    vr::xml::Node first;
    ASSERT_EQ(file.GetElement(u"/panel/objects/object[1]", &first), S_OK);
    std::unique_ptr<CPObject> group = CreatePanelObject(u"GROUP", *host, nullptr);
    ASSERT_TRUE(group);
    ASSERT_EQ(group->Load(file, first), S_OK);
    EXPECT_EQ(group->Rect(), QRect(5, 6, 70, 40));
    EXPECT_EQ(group->Description(), u"G '1");
    EXPECT_EQ(group->GetScript(), u"x = 1;");
    EXPECT_EQ(group->SetScript(), u""); // missing: empty

    vr::xml::Node second;
    ASSERT_EQ(file.GetElement(u"/panel/objects/object[2]", &second), S_OK);
    std::unique_ptr<CPObject> bad = CreatePanelObject(u"group", *host, nullptr);
    EXPECT_TRUE(FAILED(bad->Load(file, second)));
    EXPECT_EQ(CreatePanelObject(u"button", *host, nullptr), nullptr);

    vr::xml::Node saved;
    ASSERT_EQ(file.GetElement(u"/panel/objects/object[@name = 'obj0']", &saved, true), S_OK);
    ASSERT_EQ(group->Save(file, saved), S_OK);
    auto picture = std::make_unique<CPObjectPicture>(*host, nullptr);
    picture->SetFile(u"a b.png");
    vr::xml::Node pictureElement;
    ASSERT_EQ(file.GetElement(u"/panel/objects/object[@name = 'obj1']", &pictureElement, true), S_OK);
    ASSERT_EQ(picture->Save(file, pictureElement), S_OK);
    ASSERT_EQ(file.Save(), S_OK);

    CXmlFile again(path.c_str());
    vr::xml::Node reread;
    ASSERT_EQ(again.GetElement(u"/panel/objects/object[@name = 'obj0']", &reread), S_OK);
    std::unique_ptr<CPObject> copy = CreatePanelObject(u"group", *host, nullptr);
    ASSERT_EQ(copy->Load(again, reread), S_OK);
    EXPECT_EQ(copy->Rect(), group->Rect());
    EXPECT_EQ(copy->Description(), u"G '1");
    EXPECT_EQ(copy->GetScript(), u"x = 1;");
    BSTR file1 = nullptr;
    ASSERT_EQ(again.GetAttribute(u"/panel/objects/object[@name = 'obj1']", u"file", &file1), S_OK);
    EXPECT_EQ(vr::BstrView(file1), u"a b.png");
    SysFreeString(file1);
}

TEST_F(PanelObjectsTest, APictureShowsItsImageOrSaysWhyItCouldNot) {
    QTemporaryDir folder;
    QString imagePath = folder.path() + "/dot.png";
    QImage dot(8, 8, QImage::Format_RGB32);
    dot.fill(Qt::red);
    ASSERT_TRUE(dot.save(imagePath));
    CPObjectPicture picture(*host, nullptr);
    picture.SetPosition(0, 0);
    picture.SetSize(40, 40);
    picture.SetFile(imagePath.toStdU16String());
    ASSERT_EQ(picture.Initialize(true), S_OK);
    EXPECT_TRUE(picture.HasImage());
    EXPECT_TRUE(host->messages.empty());

    std::u16string missing = (folder.path() + "/missing.png").toStdU16String();
    picture.SetFile(missing);
    ASSERT_EQ(picture.Initialize(true), S_OK); // the object goes on, with an empty image
    EXPECT_FALSE(picture.HasImage());
    ASSERT_TRUE(picture.ImageLabel());
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].caption, u"Run-Time Error");
    EXPECT_EQ(host->messages[0].text.rfind(u"Couldn't load image file: '" + missing + u"'\n", 0), 0u);
}

TEST_F(PanelObjectsTest, DialogsInsertBlanksForTabAndTakeUndefinedAsEmpty) {
    ScriptEdit edit;
    edit.show();
    edit.setFocus();
    QTest::keyClick(&edit, Qt::Key_Tab);
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("    "));

    ObjectFields fields{u"Picture", u"", u"", u""};
    ObjectPropertiesDialog dialog(nullptr, true, fields);
    EXPECT_EQ(dialog.DescriptionEdit()->selectedText(), QStringLiteral("Picture"));

    ControlFields control{u"Volts", u"", u"dev.Volt", u"[0..5]", u"%5.2f", u"", u"", u""};
    vr::ui::AnswerNextModal([](QDialog& shown) {
        auto& controlDialog = static_cast<ControlObjectDialog&>(shown);
        QComboBox* combo = reinterpret_cast<QComboBox*>(controlDialog.FormatEditor()->Combo());
        combo->setEditText(QStringLiteral("<Undefined>"));
        shown.accept();
    });
    ASSERT_TRUE(EditControlFields(nullptr, &control));
    EXPECT_EQ(control.format, u"");
    EXPECT_EQ(control.value, u"dev.Volt");
    EXPECT_EQ(control.spec, u"[0..5]");
}

} // namespace
} // namespace panolixtest
