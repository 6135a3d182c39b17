// The graph control's public contract: its class and its dispatch interface IPlotvane; hosts make its window
// through the control factory. Other deliverables include only this header.
#pragma once

#include "platform/com/dispatch.h"

// The graph control's dispatch interface (DISPIDs in brackets; every member is reached through Invoke).
// Graph indexes are optional VARIANTs read as 32-bit integers: 0 to 4; a negative index means every graph
// for ClearGraph and SetOptions and is refused elsewhere; a missing one takes the member's default.
// Argument errors fail with DISP_E_EXCEPTION whose EXCEPINFO has wCode 1001 and the message text.
//   [-552] AboutBox()                       the About box, modal
//   [1]  Init([opt] vOptions)               back to the initial state, then SetOptions(vOptions) when a text
//   [2]  Clear()                            points of every graph, cursor, markers and Y limits removed
//   [3]  ClearGraph([opt] nGraphIndex = -1) the points of one graph, or of all
//   [4]  PutPoint(dX, dY, [opt] nGraphIndex = 1)
//   [5]  PutWave(vData, [opt] dXStep, [opt] nGraphIndex = 1)  y values at the graph's running x
//   [6]  SetCursor(dX)   [7] SetMarker(dX) (1.7e308 removes every marker)   [8] SetYLimits(dYLow, dYHigh)
//   [9]  SetDataWindow(dXBegin, dXEnd, dXStep, dYBegin, dYEnd, dYStep)
//   [10] SetCaption(sCaption)   [11] SetGraphName(sName, [opt] nGraphIndex = 1)
//   [12] SetOptions(sOptions, [opt] nGraphIndex = -1): XLabelFormat, YLabelFormat, LineWidth, Caption,
//        GraphName, DotOnly
//   [13] window(nGraphWindow) property: reads a null object, cannot be set
//   [14] _graphRefs(nOptions) property: reads a null object, a put does nothing   [25] _SetNextGraph()
// Apartment-threaded: the container's window thread calls it.
struct IPlotvane : IDispatch {
protected:
    ~IPlotvane() = default;
};
VR_DECLARE_INTERFACE_ID(IPlotvane, "89B0D312-2A6C-4160-93A8-5B551BCA98A9")

// Its window: a control host makes it through IVrControl (platform/ui/control.h, vr::ui::CreateControl).
// While that window exists the control is registered (weakly) in the running object table under
// CLSID_PlotvaneCtrl and holds an outside lock on itself; destroying the window (deleting the widget or its
// parent) revokes the registration and disconnects the control's outside users.
// Apartment-threaded: the container's window thread calls it.

inline constexpr CLSID CLSID_PlotvaneCtrl = vr::MakeGuid("AE5323B5-96C1-4046-B7E5-2ACD2900822C");
inline constexpr IID IID_IPlotvaneEvents = vr::MakeGuid("B53AC0D7-7920-4D9A-A272-173F1852AF58");
inline constexpr GUID LIBID_PlotvaneLib = vr::MakeGuid("08B0EE1D-D641-4995-9E8B-DA5395AFC001");

inline constexpr const char16_t* kPlotvaneProgId = u"Vornic.GraphCtrl.1";
inline constexpr const char16_t* kPlotvaneIndependentProgId = u"Vornic.GraphCtrl";

// The control's type library PlotvaneLib 1.0 (IPlotvane, IPlotvaneEvents, the class Plotvane) travels inside
// libplotvane.so and is registered with the control: LoadRegTypeLib(LIBID_PlotvaneLib, 1, 0, ...) reads it
// from the library's file without loading the library.
inline constexpr WORD kPlotvaneLibMajorVersion = 1;
inline constexpr WORD kPlotvaneLibMinorVersion = 0;

// The control's property page: a placeholder with nothing on it. Its object makes its (empty) page widget
// through IVrControl. Apartment-threaded: the window thread calls it.
inline constexpr CLSID CLSID_PlotvanePropPage = vr::MakeGuid("B3EAC807-3587-4BA9-A705-7A48B675EAF9");
inline constexpr const char16_t* kPlotvanePropPageProgId = u"Vornic.GraphPropPage.1";
inline constexpr const char16_t* kPlotvanePropPageIndependentProgId = u"Vornic.GraphPropPage";

// The cursor value that means "no cursor", and the marker value that removes every marker.
inline constexpr double kPlotvaneNone = 1.7e308;
