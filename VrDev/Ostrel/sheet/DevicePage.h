// DevicePage: the sheet's "Device" page, a thin view over DevicePageModel: the open and close sequences as
// texts with one operation per line (a line that names no operation shown in red and left out of the file),
// and the device's default values in three rows (Default Selector, Timeout, Termination String).
// Threads: the window thread. Failures: boxes through the sheet's context.
#pragma once

#include "VrDev/Ostrel/pages/DevicePageModel.h"
#include "VrDev/Ostrel/sheet/SheetPage.h"
#include "common/attrvalues/AttrValue.h"

#include <memory>

class AttrValueEditor;
class QTextEdit;
class QVBoxLayout;

namespace ostrel {

class DevicePage final : public SheetPage {
    Q_OBJECT
public:
    explicit DevicePage(SheetContext& context);
    ~DevicePage() override;

    QString Caption() const override;
    // Shows the device's default values as the document holds them now, and a sequence anew when another
    // page changed it in the document.
    void Enter() override;
    // Shows the sequences of the file; from then on the texts are what the sequences are made of.
    void FileShown() override;

    QTextEdit* OpenSequence() const { return open_; }
    QTextEdit* CloseSequence() const { return close_; }
    AttrValueEditor* Row(std::u16string_view name) const;

protected:
    // A sequence entered by focus starts with the caret at its beginning and nothing selected.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SequenceEdited(QTextEdit* edit, DevicePageModel::Sequence sequence);
    void ShowSequence(QTextEdit* edit, DevicePageModel::Sequence sequence);
    void RowChanged(const QString& name, const QString& text);
    // Makes the Default Selector row anew, offering the file's selectors as they are now.
    void MakeSelectorRow();
    AttrValueEditor* MakeRow(CAttrValue& value, const char* options, int place);
    void ShowRow(AttrValueEditor* row, const std::u16string& text);

    // All members: the window thread.
    DevicePageModel model_;
    QTextEdit* open_;   // owned by the page
    QTextEdit* close_;  // owned by the page
    QVBoxLayout* rows_; // owned by the page: the three rows
    std::unique_ptr<CAttrValue> selector_;
    std::unique_ptr<CAttrValue> timeout_;
    std::unique_ptr<CAttrValue> termString_;
    AttrValueEditor* selectorRow_ = nullptr;   // owned by the page
    AttrValueEditor* timeoutRow_ = nullptr;    // owned by the page
    AttrValueEditor* termStringRow_ = nullptr; // owned by the page
    bool showing_ = false;                     // texts and values set by the page itself are no edits
};

} // namespace ostrel
