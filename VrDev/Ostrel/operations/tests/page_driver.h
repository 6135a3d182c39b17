// Drives the Operations page as an engineer does (clicks, drags over a sample, the marking menu, the element
// editor's rows), for the page's own tests and for tests that define a device through the whole sheet.
//
// Usage (window thread, offscreen platform, inside a gtest test):
//     ostreltest::OperationsPageDriver driver(page);
//     driver.DefineModelOperation(); // get_Model from the loopback instrument's "*IDN?" answer
// Threads: the window thread. Failures: gtest failures in the calling test (fatal ones end the helper).
#pragma once

#include "VrDev/Ostrel/managers/NewNameDialog.h"
#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "VrDev/Ostrel/operations/OperationsPage.h"

#include "platform/ui/modal.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ostreltest {

class OperationsPageDriver {
public:
    explicit OperationsPageDriver(ostrel::OperationsPage& page) : page_(page) {}

    // The next new-name dialog takes this name (empty: the name it proposes).
    static void AnswerName(const QString& name) {
        vr::ui::AnswerNextModal([name](QDialog& dialog) {
            auto& ask = static_cast<ostrel::NewNameDialog&>(dialog);
            if (!name.isEmpty()) {
                ask.NameEdit()->setText(name);
            }
            ask.accept();
        });
    }

    // The value combo of the element editor's row whose label shows name.
    static QComboBox* RowCombo(QWidget* window, const QString& name) {
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->text() == name && label->parentWidget()->findChild<QComboBox*>()) {
                return label->parentWidget()->findChild<QComboBox*>();
            }
        }
        return nullptr;
    }

    void Click(const QString& button) {
        QPushButton* found = page_.Button(button);
        ASSERT_TRUE(found && found->isEnabled()) << button.toStdString();
        QTest::mouseClick(found, Qt::LeftButton);
    }

    // Drags over sample positions of an editor and chooses a command of the menu that opens.
    void Mark(MsgTypeDefEdit* editor, int begin, int end, const QString& command) {
        ostrel::MapPositions(editor->Model().DisplayText(), &begin, &end, ostrel::MapDirection::ToDisplay);
        QWidget* viewport = editor->TextWindow()->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, PointAt(editor, begin));
        QTest::mouseMove(viewport, PointAt(editor, end));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, PointAt(editor, end));
        ASSERT_TRUE(editor->MarkMenu()->isVisible()) << command.toStdString();
        QAction* action = ActionOf(editor->MarkMenu(), command);
        ASSERT_TRUE(action && action->isEnabled()) << command.toStdString();
        editor->MarkMenu()->hide();
        action->trigger();
    }

    // The value of the token under the output editor's caret.
    std::optional<std::u16string> Current(std::u16string_view item) {
        const CMsgTypeDef& definition = page_.OutputEditor()->Model().Definition();
        if (definition.CurrentElement() == CMsgTypeDef::kNoRecord) {
            return std::nullopt;
        }
        return ostrel::ItemOf(definition.Elements()[definition.CurrentElement()].ExtAttributes, item);
    }

    // Defines the operation get_Model from the loopback instrument's answer to "*IDN?" (its model a value
    // "model" between constant keys, the major version a value typed int), tries it and saves it.
    void DefineModelOperation() {
        AnswerName(QStringLiteral("get_Model"));
        Click(QStringLiteral("New Operation"));
        ASSERT_EQ(page_.NameRow()->currentText(), QStringLiteral("get_Model"));
        AnswerName({}); // "msg_get_Model"
        Click(QStringLiteral("New"));
        ASSERT_EQ(page_.InNameRow()->currentText(), QStringLiteral("msg_get_Model"));
        QTest::keyClicks(page_.InputEditor()->TextWindow(), QStringLiteral("*IDN?"));
        QTest::keyClick(page_.InputEditor()->TextWindow(), Qt::Key_Return);
        ASSERT_EQ(page_.InputEditor()->Model().Definition().Sample(), "*IDN?\n");

        // Sent: the answer becomes the response definition's sample.
        Click(QStringLiteral("Send"));
        ASSERT_EQ(page_.OutNameRow()->currentText(), QStringLiteral("msg_get_ModelResponse"));
        MsgTypeDefEdit* output = page_.OutputEditor();
        ASSERT_EQ(output->Model().Definition().Sample(), "VORNIC,LOOPBACK,0,1.0\n");

        // The model's name is a value between its keys, named "model" in the element editor; the version's
        // major number a value whose guessed type (long) is set to int there.
        Mark(output, 0, 7, QStringLiteral("&Constant"));   // "VORNIC,"
        Mark(output, 15, 16, QStringLiteral("&Constant")); // ","
        Mark(output, 7, 15, QStringLiteral("&Value"));
        ASSERT_EQ(page_.Model().Side(), ostrel::ElementSide::Output);
        QCoreApplication::sendPostedEvents();
        QComboBox* name = RowCombo(page_.ElementEditor(), QStringLiteral("name :"));
        ASSERT_NE(name, nullptr) << "the element editor shows no name row";
        name->lineEdit()->selectAll();
        QTest::keyClicks(name->lineEdit(), QStringLiteral("model"));
        QTest::keyClick(name->lineEdit(), Qt::Key_Return);
        // A row is checked once its edit has paused; the waits are bounded, not measures.
        ASSERT_TRUE(QTest::qWaitFor([&] { return Current(u"name") == u"model"; }, 20000))
            << page_.ElementEditor()->StatusText().toStdString();
        ASSERT_EQ(page_.Model().Side(), ostrel::ElementSide::Output);
        Click(QStringLiteral("Add Token as Result"));
        EXPECT_EQ(page_.ResultField()->text(), QStringLiteral("out:model"));
        Mark(output, 17, 18, QStringLiteral("&Constant")); // ","
        Mark(output, 16, 17, QStringLiteral("&Value"));    // "0", the major version
        QCoreApplication::sendPostedEvents();
        QComboBox* type = RowCombo(page_.ElementEditor(), QStringLiteral("type :"));
        ASSERT_NE(type, nullptr) << "the element editor shows no type row";
        EXPECT_EQ(type->currentText(), QStringLiteral("long"));
        QTest::keyClick(type, Qt::Key_Down); // int, the choice after
        ASSERT_TRUE(QTest::qWaitFor([&] { return Current(u"type") == u"int"; }, 20000));
        // The version counts in hertz: the units row of an answer's number, chosen from its list.
        QCoreApplication::sendPostedEvents();
        QComboBox* units = RowCombo(page_.ElementEditor(), QStringLiteral("units :"));
        ASSERT_NE(units, nullptr) << "the element editor shows no units row for an integer";
        units->setFocus();
        QTest::keyClicks(units, QStringLiteral("Hz"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Current(u"vra:units") == u"Hz"; }, 20000))
            << page_.ElementEditor()->StatusText().toStdString();
        QComboBox* fallback = RowCombo(page_.ElementEditor(), QStringLiteral("default :"));
        EXPECT_TRUE(fallback && fallback->isEditable()) << "a default names an attribute or is typed";

        // Tried again: the answer parses, and the parsed values show the model.
        Click(QStringLiteral("Send"));
        EXPECT_TRUE(page_.ParsedValues()->toPlainText().contains(QStringLiteral("LOOPBACK")))
            << page_.ParsedValues()->toPlainText().toStdString();
        Click(QStringLiteral("Save Operation"));
        EXPECT_FALSE(page_.Model().IsModified());
    }

private:
    static QAction* ActionOf(QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                return action;
            }
        }
        return nullptr;
    }
    static QPoint PointAt(MsgTypeDefEdit* editor, int shownPosition) {
        QTextCursor cursor(editor->TextWindow()->document());
        cursor.setPosition(shownPosition);
        return editor->TextWindow()->cursorRect(cursor).center();
    }

    ostrel::OperationsPage& page_; // the test's page, which outlives the driver
};

} // namespace ostreltest
