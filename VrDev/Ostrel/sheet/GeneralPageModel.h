// GeneralPageModel: the logic of the sheet's General page without widgets: the connection records to choose
// from, choosing (or creating from the blank template) the adapter file, and choosing the device connection.
//
// Usage (window thread):
//     GeneralPageModel general(context);
//     combo.addItems(general.ConnectionNames());
//     if (general.Browse(chosenPath) == BrowseResult::kChosen) { ... show general.PathText() ... }
//     general.ConnectionChanged(u"Meter");
//
// Threads: the window thread. Failures: shown through the context's messages; the page always opens.
#pragma once

#include "VrDev/Ostrel/sheet/SheetContext.h"

#include <string>
#include <vector>

namespace ostrel {

// What choosing a file came to.
enum class BrowseResult {
    kChosen,        // the file is the sheet's file now
    kAlreadyChosen, // the sheet has its file already: the browse button goes disabled, nothing else happens
    kNotCreated,    // a new file could not be made from the blank template (the box said so)
    kNotValid,      // the file did not load as an adapter file (the box said so); another may be chosen
};

class GeneralPageModel {
public:
    explicit GeneralPageModel(SheetContext& context) : context_(context) {}

    // The folder the file dialog starts in.
    static std::u16string AdapterFolder();
    // The hardware manager's connection records, without empty names and those beginning with "_"; empty
    // (traced, no box) when the hardware manager cannot be asked.
    std::vector<std::u16string> ConnectionNames();
    // The engineer chose path in the file dialog: a missing file is made from the blank template first.
    BrowseResult Browse(const std::u16string& path);
    // The file text the page shows: the chosen file, empty while none is.
    std::u16string PathText() const;
    // The browse button is usable only while no file is chosen.
    bool CanBrowse() const { return !context_.HasFile(); }
    // A connection record was selected (an empty name: nothing happens).
    HRESULT ConnectionChanged(const std::u16string& name);
    // The page may be left only when the device can be used (the box says what is missing otherwise).
    bool CanLeave() { return context_.CanUseDevice(); }

private:
    SheetContext& context_; // the sheet's; outlives the model
};

} // namespace ostrel
