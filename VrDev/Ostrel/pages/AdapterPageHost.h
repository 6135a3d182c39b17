// What a page of the device adapter file sheet needs from the sheet: the open adapter file, writing it, and
// the questions and reports only a window can show.
//
// Usage: the sheet implements it once and hands it to each page's logic; tests implement it with scripted
// answers. Failures: SaveAdapterFile returns the writer's HRESULT and shows nothing itself, so the page says
// what failed. Threads: the window thread only.
#pragma once

#include "platform/com/hresult.h"

#include <optional>
#include <string>
#include <string_view>

class CDeviceAdapterFile;

namespace ostrel {

class AdapterPageHost {
public:
    virtual ~AdapterPageHost() = default;
    // The sheet's adapter file, owned by the sheet; null when none is open.
    virtual CDeviceAdapterFile* AdapterFile() = 0;
    // Writes the adapter file.
    [[nodiscard]] virtual HRESULT SaveAdapterFile() = 0;
    // A box with the caption "Error" and the error icon (without a display: standard error).
    virtual void ShowError(std::u16string_view text) = 0;
    // A yes/no question; without a display nobody can answer, and the answer is no.
    virtual bool AskYesNo(std::u16string_view text) = 0;
    // The new-name dialog for an item of that kind; none unless the engineer gave a name with OK.
    virtual std::optional<std::u16string> AskNewName(std::u16string_view kind) = 0;
};

} // namespace ostrel
