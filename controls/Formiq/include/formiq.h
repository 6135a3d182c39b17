// The attribute-collection editor control's public contract (type library FORMIQLib 1.0): its class, its
// dispatch interface's members by DISPID, its event, its option, and the notice it posts to its parent.
// Hosts call it by DISPID through IDispatch (common/widgets/Formiq.h wraps that); they include only this.
#pragma once

#include "platform/com/dispatch.h"

// `_DFormiq`, a dispatch-only interface: members by DISPID.
//   [1] Init(IUnknown* VrAttributeCollection, VARIANT pCAttrValues, long lNameWidth, BSTR Options,
//            BSTR AttributesSetupString, BSTR ChildOptions) -> VARIANT_BOOL
//       pCAttrValues is VT_EMPTY or the host's CAttrValueList lent in process (platform/ui/control.h,
//       vr::ui::LendObject with GUID_CAttrValueList); any other VARIANT makes Init answer false at once.
//   [2] RetrieveAttributeValues()   every row reads its value again
//   [3] StoreAttributeValues()      the supplementary setup (when shown), then every row stores its value
//   [4] GetAttributes() -> BSTR     the shown values as one settings string
//   [5] Clear()                     removes every row
struct _DFormiq : IDispatch {
protected:
    ~_DFormiq() = default;
};
VR_DECLARE_INTERFACE_ID(_DFormiq, "1D0ADF14-F715-4445-B907-649854492114")

inline constexpr DISPID DISPID_FORMIQ_INIT = 1;
inline constexpr DISPID DISPID_FORMIQ_RETRIEVEATTRIBUTEVALUES = 2;
inline constexpr DISPID DISPID_FORMIQ_STOREATTRIBUTEVALUES = 3;
inline constexpr DISPID DISPID_FORMIQ_GETATTRIBUTES = 4;
inline constexpr DISPID DISPID_FORMIQ_CLEAR = 5;

// `_DFormiqEvents`: [1] AttributeChanged(BSTR AttributeName, BSTR AttributeValue). On Qt the control's
// widget emits it as the signal attributeChanged(QString name, QString value).
inline constexpr IID DIID__DFormiqEvents = vr::MakeGuid("C15FD559-97D3-402C-A74C-552DD277A080");
inline constexpr DISPID DISPID_FORMIQ_ATTRIBUTECHANGED = 1;
inline constexpr const char* kFormiqAttributeChangedSignal = "2attributeChanged(QString,QString)"; // SIGNAL()

// After firing AttributeChanged the control posts this notice to its parent widget (a vr::ui::ControlNotice
// whose sender is the control's widget and whose text is the changed attribute's name).
inline constexpr UINT WM_ATTRIBUTE_CHANGED = 0x8155;

// The options enumeration the type library declares.
enum FormiqOptions : LONG {
    FORMIQ_SHOWSUPPLEMENTARYSETUP = 1,
};

// The type CAttrValueList is lent as (common/attrvalues/AttrValue.h).
inline constexpr GUID GUID_CAttrValueList = vr::MakeGuid("3B7E0C51-9A2D-4F86-B1C4-6E2A9D7F0B18");

inline constexpr CLSID CLSID_Formiq = vr::MakeGuid("D464F277-7C38-43F6-9365-C49496ED15E7");
inline constexpr GUID LIBID_FORMIQLib = vr::MakeGuid("773B50F7-BE36-411F-B8A5-AC01A5AFAB7F");
inline constexpr WORD kFormiqLibMajorVersion = 1;
inline constexpr WORD kFormiqLibMinorVersion = 0;
inline constexpr const char16_t* kFormiqProgId = u"Vornic.FormiqCtrl.1";
inline constexpr const char16_t* kFormiqIndependentProgId = u"Vornic.FormiqCtrl";

// The control's property page: an empty placeholder (an IVrControl whose widget shows nothing).
inline constexpr CLSID CLSID_FormiqPropPage = vr::MakeGuid("0D9F4AD5-EC1E-4D46-B741-EE8479D8F9C5");
inline constexpr const char16_t* kFormiqPropPageProgId = u"Vornic.FormiqProp.1";
inline constexpr const char16_t* kFormiqPropPageIndependentProgId = u"Vornic.FormiqProp";
