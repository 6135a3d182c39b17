// What the adapter file sheet does when it closes: edits not saved yet are offered for saving first, then the
// device libraries built from the chosen file are rebuilt, and a failure is shown.
// Threads: the window thread. Failures: shown through the context's messages.
#pragma once

#include "VrDev/Ostrel/sheet/SheetContext.h"

#include <functional>
#include <string>

namespace ostrel {

// Rebuilds the device's type library and the socket libraries of every device that uses the adapter file;
// S_OK, or a failure with *error saying what went wrong. The main frame gives the sheet the real one.
using RebuildLibraries = std::function<HRESULT(const std::u16string& adapterFile, std::u16string* error)>;

// The rebuild until one is given: it always fails with "Device libraries cannot be rebuilt yet".
HRESULT RebuildNotAvailable(const std::u16string& adapterFile, std::u16string* error);

// Before the sheet's window closes: with edits the file does not hold yet, asks "Save changes to '<file>'?"
// (Yes, No, Cancel); true when the window may close (not modified, No, or Yes and saved).
bool QueryCloseFile(SheetContext& context);

// After the sheet's window closed: without a chosen file nothing is rebuilt (S_FALSE); otherwise rebuild runs
// on the file, and a failure shows "The device libraries of '<file>' were not rebuilt: <error>".
HRESULT RebuildAfterClose(SheetContext& context, const RebuildLibraries& rebuild);

} // namespace ostrel
