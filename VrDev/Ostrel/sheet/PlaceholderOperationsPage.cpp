// Stands in for the Operations page until its real file is built.
#include "VrDev/Ostrel/sheet/PlaceholderPage.h"

namespace ostrel {

std::unique_ptr<SheetPage> MakeOperationsPage(SheetContext& context) {
    return std::make_unique<PlaceholderPage>(context, QStringLiteral("Operations"));
}

} // namespace ostrel
