// AdapterSheet: the "Device Adapter File" window, in which an engineer edits one device adapter file: the
// pages General, Operations, Attributes and Device on tabs, with the buttons "Save File" and "Exit".
// A page may refuse to be left (the General page until a file and a connection are chosen); it stays shown
// while it asks, and the next page shows once it holds its data. Closing the window (Exit or its close box)
// first offers to save what is not saved yet (the Operations page's operation, then the file; Cancel keeps
// the window), then rebuilds the device libraries from the file, when one was chosen, and the window deletes
// itself.
//
// Usage (window thread):
//     auto* sheet = new AdapterSheet(u"Device Adapter File", frame, rebuild);   // deletes itself on close
//     sheet->SetAdapterFile(u"/data/Adapter/Meter.daf");
// Threads: the window thread, in a single-threaded apartment. Failures: message boxes over the window.
#pragma once

#include "VrDev/Ostrel/sheet/GeneralPage.h"
#include "VrDev/Ostrel/sheet/SheetClose.h"
#include "VrDev/Ostrel/sheet/SheetPage.h"

#include <QWidget>

#include <vector>

class QPushButton;
class QTabWidget;

namespace ostrel {

class AdapterSheet final : public QWidget {
public:
    // parent: the window the sheet stays over (may be null). rebuild: the closing step's rebuild (empty: not
    // available). rigmont: the hardware manager to use, or null to create one on first use.
    AdapterSheet(const QString& caption, QWidget* parent, RebuildLibraries rebuild,
                 IVrRigmont* rigmont = nullptr);
    ~AdapterSheet() override;

    // Chooses the sheet's file and shows it on the pages; a failure is shown and returned.
    HRESULT SetAdapterFile(const std::u16string& path);

    SheetContext& Context() { return context_; }
    GeneralPage* General() const { return general_; }
    QTabWidget* Tabs() const { return tabs_; }
    SheetPage* Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* ExitButton() const { return exit_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AddPage(SheetPage* page);
    void TabChanged(int index);
    // Shows the tab without the leave and enter steps of a change.
    void ShowTab(int index);
    void ShowFileOnPages();

    BoxMessages messages_;           // window thread
    SheetContext context_;           // window thread; outlives the pages (they are deleted with the window)
    RebuildLibraries rebuild_;       // fixed at construction
    QTabWidget* tabs_;               // owned by the window
    GeneralPage* general_ = nullptr; // owned by tabs_
    std::vector<SheetPage*> pages_;  // owned by tabs_, in tab order
    QPushButton* save_;              // owned by the window
    QPushButton* exit_;              // owned by the window
    int shown_ = 0;                  // window thread: the page last entered
    bool switching_ = false;         // window thread: the sheet itself is showing a tab
    bool closed_ = false;            // window thread: the closing step ran
};

} // namespace ostrel
