// What a shown window draws cut off, found by the widgets' geometry rather than by eye: every shown label,
// button, drop-down, spin box and one-line edit is measured against what it needs (its size hint; for a push
// button, a drop-down and a one-line edit the text it shows) and against each parent it lies in.
//
// Usage: EXPECT_EQ(vrtest::ClippedWidgets(window), std::vector<std::string>()); each entry names one cut
// widget ("QLabel 'Status :' is 40x17, needs 52x17"); with `within`, only that part of the window (a pane) and
// what lies in it is measured. Window thread only; the window must be shown.
#pragma once

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <string>
#include <vector>

namespace vrtest {

namespace clipped_detail {

// The widget's class and text, and the class of the nearest parent that has one of its own.
inline std::string Describe(const QWidget& widget, const QString& text) {
    std::string described = std::string(widget.metaObject()->className()) + " '" + text.toStdString() + "'";
    for (const QWidget* at = widget.parentWidget(); at; at = at->parentWidget()) {
        if (at->metaObject() != &QWidget::staticMetaObject) {
            return described + " in " + at->metaObject()->className();
        }
    }
    return described;
}

inline std::string Sizes(QSize has, QSize needs) {
    return " is " + std::to_string(has.width()) + "x" + std::to_string(has.height()) + ", needs " +
           std::to_string(needs.width()) + "x" + std::to_string(needs.height());
}

// Inside a scroll area's view the parent's edge is no cut: the view scrolls.
inline bool InScrolledView(const QWidget& widget, const QWidget& window) {
    for (const QWidget* at = widget.parentWidget(); at && at != &window; at = at->parentWidget()) {
        auto* area = qobject_cast<const QAbstractScrollArea*>(at->parentWidget());
        if (area && area->viewport() == at) {
            return true;
        }
    }
    return false;
}

// The part of the widget that its parents let show, in its own coordinates.
inline QRect ShownPart(const QWidget& widget, const QWidget& window) {
    QRect shown = widget.rect();
    for (const QWidget* at = &widget; at != &window && at->parentWidget(); at = at->parentWidget()) {
        const QWidget* parent = at->parentWidget();
        shown &= parent->rect().translated(-widget.mapTo(parent, QPoint(0, 0)));
    }
    return shown;
}

// The text of a one-line edit needs its advance within the frame and the edit's own margins.
inline bool LineEditTextFits(const QLineEdit& edit) {
    const int frame =
        edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &edit) : 0;
    constexpr int kEditMargin = 2; // QLineEdit's own blank on each side of its text
    const QMargins margins = edit.textMargins();
    const int room = edit.width() - 2 * frame - 2 * kEditMargin - margins.left() - margins.right();
    return edit.fontMetrics().horizontalAdvance(edit.text()) <= room;
}

// A push button needs its text within its margins and frames; its size hint may ask more (a style's smallest
// button), which is no cut.
inline QSize PushButtonNeeds(const QPushButton& button) {
    const QStyle& style = *button.style();
    int width = button.fontMetrics().horizontalAdvance(button.text()) +
                style.pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) +
                2 * style.pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
    if (!button.icon().isNull()) {
        width += button.iconSize().width() + 4;
    }
    return QSize(std::min(width, button.sizeHint().width()), button.sizeHint().height());
}

// A drop-down shows its current text in its edit field beside the arrow, less a blank at each side (an
// editable one: its line edit's margins); its size hint asks room for its longest item, which its list shows.
inline bool ComboBoxTextFits(const QComboBox& combo) {
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    option.editable = combo.isEditable();
    option.frame = combo.hasFrame();
    const QRect field =
        combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &combo);
    const int blanks = combo.isEditable() ? 4 : 2;
    return combo.fontMetrics().horizontalAdvance(combo.currentText()) <= field.width() - blanks;
}

} // namespace clipped_detail

inline std::vector<std::string> ClippedWidgets(const QWidget& window, const QWidget* within = nullptr) {
    using namespace clipped_detail;
    std::vector<std::string> clipped;
    for (const QWidget* widget : (within ? within : &window)->findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->isWindow() || widget->window() != &window) {
            continue;
        }
        QString text;
        bool measured = true; // by its size hint
        if (auto* label = qobject_cast<const QLabel*>(widget)) {
            text = label->text();
            measured = !label->wordWrap() && !text.isEmpty();
        } else if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            text = button->text();
        } else if (auto* combo = qobject_cast<const QComboBox*>(widget)) {
            text = combo->currentText();
            measured = false;
            if (!ComboBoxTextFits(*combo)) {
                clipped.push_back(Describe(*combo, text) + " shows its text cut");
            }
        } else if (auto* spin = qobject_cast<const QAbstractSpinBox*>(widget)) {
            text = spin->text();
        } else if (auto* edit = qobject_cast<const QLineEdit*>(widget)) {
            if (qobject_cast<const QAbstractSpinBox*>(edit->parentWidget()) ||
                qobject_cast<const QComboBox*>(edit->parentWidget())) {
                continue; // measured with its box
            }
            text = edit->text();
            measured = false;
            if (!LineEditTextFits(*edit)) {
                clipped.push_back(Describe(*edit, text) + " shows its text cut");
            }
        } else {
            continue;
        }
        auto* push = qobject_cast<const QPushButton*>(widget);
        const QSize needs = push ? PushButtonNeeds(*push) : widget->sizeHint();
        if (measured && (widget->width() < needs.width() || widget->height() < needs.height())) {
            clipped.push_back(Describe(*widget, text) + Sizes(widget->size(), needs));
        } else if (!InScrolledView(*widget, window) && ShownPart(*widget, window) != widget->rect()) {
            clipped.push_back(Describe(*widget, text) + " is cut by its parent");
        }
    }
    return clipped;
}

} // namespace vrtest
