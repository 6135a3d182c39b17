// Stands in for the Attributes page until its real file is built.
#include "VrDev/Ostrel/sheet/PlaceholderPage.h"

namespace ostrel {

std::unique_ptr<SheetPage> MakeAttributesPage(SheetContext& context) {
    return std::make_unique<PlaceholderPage>(context, QStringLiteral("Attributes"));
}

} // namespace ostrel
