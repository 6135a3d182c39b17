// The control panel file (.pnx): the panel's own settings (script language, auto refresh and its period, the
// main script) in its root element, and new panels made from the blank panel of a language.
//
// Threads: none of their own; a CXmlFile is used by one thread at a time.
// Failures: HRESULTs of CXmlFile are handed on; a settings value that cannot be used fails with E_INVALIDARG
// and a text that says which value and why.
#pragma once

#include "common/xmlfile/XmlFile.h"

#include <string>

namespace panolix {

// The file name extension of panels.
inline constexpr const char* kPanelExtension = ".pnx";

// A panel file as the program reads and writes it. A panel is written by hand as often as by the program: a
// save keeps the text's own layout where nothing changed (its XML declaration or none, and its line ends, LF
// or CR LF, throughout).
class PanelDocument : public CXmlFile {
public:
    PanelDocument() { SetKeepLayout(true); }
};

struct PanelSettings {
    std::string language; // the "language" attribute; empty when missing
    bool autoRefresh = false;
    int refreshPeriod = 1;  // seconds between two auto refreshes
    std::string mainScript; // the text of /panel/script; empty when missing
};

// "yes" and "true", in any letter case, switch auto refresh on; anything else, or nothing, leaves it off.
bool IsAutoRefreshText(const std::string& text);

// Reads the settings of a panel into *settings; refreshPeriod stays as it was when the file has none. A
// refresh period that is no whole number fails with E_INVALIDARG and *error saying so; one below 1 second
// (a period of 0 or less would refresh on every tick) or beyond a day is clamped into that range, with a
// trace line, so older panels open.
HRESULT ReadPanelSettings(CXmlFile& file, PanelSettings* settings, std::string* error);

// Writes the settings: language, the main script, autorefresh as "yes" or "no", refreshperiod in decimal.
HRESULT WritePanelSettings(CXmlFile& file, const PanelSettings& settings);

// Empties /panel/objects (creating it when missing), so that saving the objects writes them afresh.
HRESULT ClearPanelObjects(CXmlFile& file);

// The name with ".pnx" appended unless it already ends with it.
std::string WithPanelExtension(const std::string& name);

// The blank panel of a language: the configuration item PnxBlankFile with "%1" replaced by the language; a
// bare name (the built-in default) lies in the program folder. Empty when the item is missing.
std::string BlankPanelFileFor(const std::string& language);

// Copies the blank panel to path, never over an existing file. False with errno set on failure.
bool CopyBlankPanel(const std::string& blank, const std::string& path);

// The part of a path after its last "/".
std::string FileNameOf(const std::string& path);

} // namespace panolix
