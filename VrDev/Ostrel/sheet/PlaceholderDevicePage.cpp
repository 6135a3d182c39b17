// Stands in for the Device page until its real file is built.
#include "VrDev/Ostrel/sheet/PlaceholderPage.h"

namespace ostrel {

std::unique_ptr<SheetPage> MakeDevicePage(SheetContext& context) {
    return std::make_unique<PlaceholderPage>(context, QStringLiteral("Device"));
}

} // namespace ostrel
