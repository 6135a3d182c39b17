// GeneralPage: the sheet's "General" page, a thin view over GeneralPageModel: the adapter file's path with
// its browse button "...", and the device connection to choose from the hardware manager's records.
// Threads: the window thread. Failures: boxes through the sheet's context.
#pragma once

#include "VrDev/Ostrel/sheet/GeneralPageModel.h"
#include "VrDev/Ostrel/sheet/SheetPage.h"

#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace ostrel {

class GeneralPage final : public SheetPage {
public:
    // fileChosen runs once a browse chose the sheet's file (the sheet then shows it on every page).
    GeneralPage(SheetContext& context, std::function<void()> fileChosen);

    QString Caption() const override;
    bool Leave() override;
    void FileShown() override;

    // The browse button's command: the file dialog, then the model's Browse.
    void BrowseCommand();
    // Chooses the file as the file dialog would have (tests, and BrowseCommand after its dialog).
    void ChooseFile(const QString& path);

    QLineEdit* PathField() const { return path_; }
    QPushButton* BrowseButton() const { return browse_; }
    QComboBox* ConnectionField() const { return connection_; }

private:
    void FillConnections();

    GeneralPageModel model_;           // window thread
    std::function<void()> fileChosen_; // fixed at construction
    QLineEdit* path_;                  // owned by the page
    QPushButton* browse_;              // owned by the page
    QComboBox* connection_;            // owned by the page
};

} // namespace ostrel
