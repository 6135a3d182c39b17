// The graph host's window with its graph control, and the members of CGraphHost.
#include "GraphHost.h"

#include "TestRunTime/Corvant/include/corvant.h"
#include "VrDev/PlotvaneCtrl/include/plotvane.h"
#include "common/trace/Trace.h"
#include "platform/base/file_write.h"
#include "platform/base/text.h"
#include "platform/com/errorinfo.h"

#include <QBuffer>
#include <QByteArray>
#include <QVBoxLayout>

namespace graphhost {

namespace {

// The window's state over the program's life: it is opened at most once.
enum class WindowState { NotYetOpened, Open, Closed };

// Window thread only, as the window itself.
WindowState g_state = WindowState::NotYetOpened;
QPointer<QWidget> g_window;      // null before the window is made and once it is gone
vr::ComPtr<IDispatch> g_control; // the graph control, held while the program runs

constexpr QSize kInitialSize(640, 400);

} // namespace

HRESULT HostWindow::Open() {
    if (g_state == WindowState::Open && g_window) {
        return S_OK;
    }
    if (g_state != WindowState::NotYetOpened) {
        return E_ABORT; // closed by the user: the program is on its way out
    }
    auto* window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Graph"));
    window->resize(kInitialSize);
    vr::ui::ControlHandle control;
    if (HRESULT hr =
            vr::ui::CreateControl(CLSID_PlotvaneCtrl, window, QRect(QPoint(), kInitialSize), &control);
        FAILED(hr)) {
        delete window;
        return hr;
    }
    auto* layout = new QVBoxLayout(window); // the control follows the window's size
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(control.widget);
    QObject::connect(window, &QObject::destroyed, [] {
        g_state = WindowState::Closed;
        g_control = nullptr;
    });
    g_control = control.dispatch;
    g_window = window;
    g_state = WindowState::Open;
    window->show();
    return S_OK;
}

QWidget* HostWindow::Window() {
    return g_window.data();
}

void HostWindow::Close() {
    delete g_window.data();
}

const vr::DispatchTable<CGraphHost>& CGraphHost::GetDispatchTable() {
    using D = vr::DispatchTable<CGraphHost>;
    static const D table(u"IGraphHost", {D::Method<&CGraphHost::SavePicture>(1, u"SavePicture", {u"sFile"})});
    return table;
}

HRESULT CGraphHost::FinalConstruct() {
    SetTraceMethodName(u"CGraphHost::CGraphHost()");
    if (HRESULT hr = HostWindow::Open(); FAILED(hr)) {
        SetTraceSite();
        TraceHResultError(hr, u"Couldn't open the graph window.");
        return hr;
    }
    return S_OK;
}

HRESULT CGraphHost::SavePicture(BSTR sFile) {
    QWidget* window = HostWindow::Window();
    if (!window) {
        return vr::ReportError(E_FAIL, vr::uuidof<IGraphHost>(), u"GraphHost",
                               u"The graph window is closed.");
    }
    const std::u16string file = sFile ? std::u16string(sFile, SysStringLen(sFile)) : std::u16string();
    // Encoded in memory, then the file replaced whole (platform/base/file_write.h).
    QByteArray png;
    QBuffer buffer(&png);
    std::u16string failure = u"Couldn't save the graph window's picture to '" + file + u"'.";
    if (file.empty() || !buffer.open(QIODevice::WriteOnly) || !window->grab().save(&buffer, "PNG")) {
        return vr::ReportError(E_FAIL, vr::uuidof<IGraphHost>(), u"GraphHost", failure);
    }
    vr::FileWriteResult saved = vr::WriteFileWhole(
        vr::ToUtf8(file), std::string_view(png.constData(), static_cast<size_t>(png.size())));
    if (!saved) {
        return vr::ReportError(E_FAIL, vr::uuidof<IGraphHost>(), u"GraphHost",
                               failure + u" " + vr::FromUtf8(saved.why));
    }
    return S_OK;
}

const vr::server::ClassEntry& GraphHostClass() {
    static const vr::server::ClassEntry entry{.clsid = CLSID_GraphHost,
                                              .createInstance = &CGraphHost::CreateInstance,
                                              .progId = kGraphHostProgId,
                                              .versionIndependentProgId = kGraphHostIndependentProgId,
                                              .description = u"GraphHost Class"};
    return entry;
}

} // namespace graphhost
