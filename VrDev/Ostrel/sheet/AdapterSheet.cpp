// The device adapter file window on Qt.
#include "VrDev/Ostrel/sheet/AdapterSheet.h"

#include "common/trace/Trace.h"

#include <QCloseEvent>

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace ostrel {

AdapterSheet::AdapterSheet(const QString& caption, QWidget* parent, RebuildLibraries rebuild,
                           IVrRigmont* rigmont)
    : QWidget(parent, Qt::Window), messages_(this), context_(messages_, rigmont),
      rebuild_(std::move(rebuild)), tabs_(new QTabWidget(this)),
      save_(new QPushButton(QStringLiteral("Save File"), this)),
      exit_(new QPushButton(QStringLiteral("Exit"), this)) {
    SetTraceMethodName(u"CAdapterManDlg::CAdapterManDlg()");
    TraceInfo(u"CAdapterManDlg::CAdapterManDlg()");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);
    general_ = new GeneralPage(context_, [this] { ShowFileOnPages(); });
    AddPage(general_);
    AddPage(MakeOperationsPage(context_).release());
    AddPage(MakeAttributesPage(context_).release());
    AddPage(MakeDevicePage(context_).release());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(exit_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);
    connect(save_, &QPushButton::clicked, this, [this] { (void)context_.SaveFile(); }); // it shows a failure
    connect(exit_, &QPushButton::clicked, this, &QWidget::close);
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { TabChanged(index); });
    general_->Enter();
}

AdapterSheet::~AdapterSheet() {
    delete tabs_; // the pages use the context: they go before the members do
}

void AdapterSheet::AddPage(SheetPage* page) {
    pages_.push_back(page);
    tabs_->addTab(page, page->Caption());
}

HRESULT AdapterSheet::SetAdapterFile(const std::u16string& path) {
    HRESULT hr = context_.SetAdapterFile(path);
    if (SUCCEEDED(hr)) {
        ShowFileOnPages();
    } else {
        general_->FileShown(); // the path stays empty and another file may be chosen
    }
    return hr;
}

void AdapterSheet::ShowFileOnPages() {
    for (SheetPage* page : pages_) {
        page->FileShown();
    }
}

// The tab widget has shown the new page already, but nothing is drawn before this returns: the page that is
// left is put back while it asks its question, and the new page is shown only once it holds its data.
void AdapterSheet::TabChanged(int index) {
    if (switching_ || index < 0 || index == shown_) {
        return;
    }
    ShowTab(shown_);
    if (!pages_.at(static_cast<size_t>(shown_))->Leave()) {
        return; // the page that refused stays shown
    }
    shown_ = index;
    pages_.at(static_cast<size_t>(index))->Enter();
    ShowTab(index);
}

void AdapterSheet::ShowTab(int index) {
    switching_ = true;
    tabs_->setCurrentIndex(index);
    switching_ = false;
}

void AdapterSheet::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        // Edits not saved yet are offered for saving first; Cancel keeps the window.
        const bool pagesAgree =
            std::all_of(pages_.begin(), pages_.end(), [](SheetPage* page) { return page->QueryClose(); });
        if (!pagesAgree || !QueryCloseFile(context_)) {
            event->ignore();
            return;
        }
        closed_ = true;
        (void)RebuildAfterClose(context_, rebuild_); // a failure is shown; the window closes anyway
    }
    event->accept();
}

} // namespace ostrel
