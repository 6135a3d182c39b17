// SheetPage: one page of the device adapter file sheet (General, Operations, Attributes, Device), a widget
// the sheet shows on a tab of its own, and the factories of the pages other than General.
//
// The sheet makes every page at once, in tab order, each with the sheet's SheetContext, and owns them (the
// pages are children of its tab widget). The sheet then calls, on the window thread:
//   Enter()     each time the page becomes the shown page (also the first page when the sheet opens);
//   Leave()     before another page is shown; false keeps this page shown (the page says why, usually with a
//               box through the context);
//   FileShown() once a file was chosen and loaded (the document is then fixed for the sheet's life): a page
//               shows the document's data, whether or not it is the shown page;
//   QueryClose() before the window closes, for every page: false keeps the window open (the page offers to
//               save what it holds that the document does not, as leaving it does).
// The General page refuses to be left until CanUseDevice() holds, so the other pages are entered only with a
// file and a connection; they may still be made, and get FileShown(), before that.
// Threads: the window thread only. Failures: a page reports its own through the context's messages.
#pragma once

#include "VrDev/Ostrel/sheet/SheetContext.h"
#include "platform/ui/message_box.h"

#include <QString>
#include <QWidget>

#include <memory>

namespace ostrel {

class SheetPage : public QWidget {
public:
    // context is the sheet's and outlives the page.
    explicit SheetPage(SheetContext& context, QWidget* parent = nullptr)
        : QWidget(parent), context_(context) {}

    // The tab's text: "General", "Operations", "Attributes", "Device".
    virtual QString Caption() const = 0;
    virtual void Enter() {}
    virtual bool Leave() { return true; }
    virtual void FileShown() {}
    virtual bool QueryClose() { return true; }

protected:
    SheetContext& Context() const { return context_; }

private:
    SheetContext& context_; // the sheet's; outlives the page
};

// The sheet's message boxes in a window: modal boxes over the given widget (tests answer them with
// vr::ui::AnswerNextMessageBox).
class BoxMessages final : public SheetMessages {
public:
    explicit BoxMessages(QWidget* parent) : parent_(parent) {}
    int Show(std::u16string_view text, std::u16string_view caption, UINT type) override {
        return vr::ui::MessageBox(parent_, text, caption, type);
    }

private:
    QWidget* parent_; // the sheet's window; outlives the messages
};

// The pages other than General, each made by its own file. The sheet takes ownership of the page returned.
// (VrDev/Ostrel/sheet/Placeholder*Page.cpp stand in for a page until its real file is built.)
std::unique_ptr<SheetPage> MakeOperationsPage(SheetContext& context);
std::unique_ptr<SheetPage> MakeAttributesPage(SheetContext& context);
std::unique_ptr<SheetPage> MakeDevicePage(SheetContext& context);

} // namespace ostrel
