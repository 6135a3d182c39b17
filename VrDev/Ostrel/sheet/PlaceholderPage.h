// A page that stands in for one the sheet makes by factory until the real page is built: its caption and a
// line saying the page is not available yet.
#pragma once

#include "VrDev/Ostrel/sheet/SheetPage.h"

#include <QLabel>
#include <QVBoxLayout>

namespace ostrel {

class PlaceholderPage final : public SheetPage {
public:
    PlaceholderPage(SheetContext& context, QString caption)
        : SheetPage(context), caption_(std::move(caption)) {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("This page is not available yet."), this));
    }
    QString Caption() const override { return caption_; }

private:
    QString caption_; // fixed
};

} // namespace ostrel
