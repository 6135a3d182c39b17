// CFormiq: how a program hosts the attribute-collection editor control. It creates the control as a child
// widget of a parent and calls each member of the control's dispatch interface by DISPID. The control's
// changes reach the host as the widget's attributeChanged signal and as WM_ATTRIBUTE_CHANGED notices
// (vr::ui::ControlNotice) posted to the parent; the host handles those, not this wrapper.
//
// Usage:
//     CFormiq form;
//     form.Create("Settings", QRect(0, 0, 400, 300), parent, 1);
//     form.Init(collection, nullptr, 140, "", setup, "");   // or a VARIANT lending the host's list
//     ... the user edits ...
//     form.StoreAttributeValues();
//
// Failures: a failed call raises _com_error with the control's error information, as every dispatch call
// of the programs does. Threads: the window thread that owns the parent.
#pragma once

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <string>

class CAttrValueList;

class CFormiq {
public:
    CFormiq() = default;
    // Releases the control, which takes its widget along.
    ~CFormiq();
    CFormiq(const CFormiq&) = delete;
    CFormiq& operator=(const CFormiq&) = delete;

    // Creates the control (CLSID_Formiq) as a child of parent at rect; false when it cannot be made (not
    // registered, no window). The window name becomes the widget's object name, id its property "controlId".
    bool Create(const char* windowName, const QRect& rect, QWidget* parent, unsigned id);

    // Init (DISPID 1). valueList is null or VT_EMPTY (the rows come from the collection), or lends the
    // host's own list (LendValueList). The texts are UTF-8.
    bool Init(IUnknown* collection, const VARIANT* valueList, long nameWidth, const char* options,
              const char* setup, const char* childOptions);
    // RetrieveAttributeValues (DISPID 2): every row reads its value again.
    void RetrieveAttributeValues();
    // StoreAttributeValues (DISPID 3): every row stores its value.
    void StoreAttributeValues();
    // GetAttributes (DISPID 4): the shown values as one settings string.
    std::string GetAttributes();
    // Clear (DISPID 5): removes every row.
    void Clear();

    // The VARIANT that lends the host's list to Init: the control edits its values in place. The list stays
    // the host's and must outlive the filled control.
    static HRESULT LendValueList(CAttrValueList* list, VARIANT* lent);

    QWidget* Widget() const { return widget_.data(); }
    IDispatch* Dispatch() const { return control_.Get(); }

private:
    // Invokes the member as a method with the arguments in their declared order; throws on failure.
    void Call(DISPID id, VARIANT* args, unsigned count, VARIANT* result);

    vr::ComPtr<IDispatch> control_; // the control object; null before Create
    QPointer<QWidget> widget_;      // its widget, owned by the parent
};
