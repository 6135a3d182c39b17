// The control object's window-free logic: value formatting, templates, parameter rows and the line layout.
#include "ControlLogic.h"

#include "common/options/ParamParser.h"

#include "platform/base/format.h"
#include "platform/com/bstr.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// A BSTR that frees itself.
struct OwnedBstr {
    BSTR text = nullptr;
    OwnedBstr() = default;
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(text); }
    std::u16string Text() const { return std::u16string(vr::BstrView(text)); }
};

bool IsTrailingBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The text as a number as the value window takes it; nullopt when it is none.
std::optional<double> NumberOf(const std::u16string& text) {
    size_t end = text.size();
    while (end > 0 && IsTrailingBlank(text[end - 1])) {
        --end;
    }
    if (end == 0) {
        return 0.0; // an empty or all-blank value counts as 0
    }
    std::u16string number = text.substr(0, end);
    double value = 0;
    if (!TextToDouble(&value, number.c_str(), true, true) || std::isnan(value) || std::isinf(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::u16string ReplacePlaceholders(std::u16string_view text, const std::vector<Placeholder>& placeholders) {
    std::u16string result;
    result.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const Placeholder* found = nullptr;
        if (text[at] == u'<') {
            for (const Placeholder& placeholder : placeholders) {
                if (text.substr(at, placeholder.name.size()) == placeholder.name) {
                    found = &placeholder;
                    break;
                }
            }
        }
        if (found) {
            result += found->text;
            at += found->name.size();
        } else {
            result += text[at++];
        }
    }
    return result;
}

std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
    if (from.empty()) {
        return text;
    }
    for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::u16string UnescapeTemplate(std::u16string_view stored) {
    return ReplaceAll(ReplaceAll(std::u16string(stored), u"\\r", u"\r"), u"\\n", u"\n");
}

std::u16string ScriptStringText(std::u16string_view text) {
    std::u16string escaped;
    escaped.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
        case u'\\':
            escaped += u"\\\\";
            break;
        case u'"':
            escaped += u"\\\"";
            break;
        case u'\'':
            escaped += u"\\'";
            break;
        case u'\r':
            escaped += u"\\r";
            break;
        case u'\n':
            escaped += u"\\n";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

DisplayFormatKind CheckDisplayFormat(const std::u16string& format) {
    if (format.empty()) {
        return DisplayFormatKind::None;
    }
    switch (vr::CheckUserFormat(format.c_str())) {
    case vr::FormatKind::Integer:
    case vr::FormatKind::Character:
        return DisplayFormatKind::Integer;
    case vr::FormatKind::Floating:
        return DisplayFormatKind::Floating;
    case vr::FormatKind::String:
    case vr::FormatKind::Invalid:
        break;
    }
    return DisplayFormatKind::Invalid;
}

std::optional<std::u16string> FormatDisplayValue(const std::u16string& format, const std::u16string& text) {
    DisplayFormatKind kind = CheckDisplayFormat(format);
    if (kind == DisplayFormatKind::Invalid) {
        return std::nullopt;
    }
    std::optional<double> number = kind == DisplayFormatKind::None ? std::nullopt : NumberOf(text);
    if (!number) {
        return text;
    }
    if (kind == DisplayFormatKind::Floating) {
        return vr::FormatWString(format.c_str(), *number);
    }
    double whole = std::trunc(*number);
    if (whole < static_cast<double>(LONG_MIN) || whole > static_cast<double>(LONG_MAX)) {
        return text; // no integer to show: the text as it came
    }
    return vr::FormatWString(format.c_str(), static_cast<LONG>(whole));
}

ControlVariables VariablesOf(std::u16string_view name) {
    std::u16string own(name);
    return {u"rt_value" + own, u"rt_valid" + own, u"rt_spec" + own};
}

std::u16string ComposeGetScript(std::u16string_view getTemplate, const ControlVariables& variables,
                                std::u16string_view spec, std::u16string_view expression,
                                std::u16string_view description) {
    return ReplacePlaceholders(getTemplate, {{u"<value>", variables.value},
                                             {u"<valid>", variables.valid},
                                             {u"<spec>", variables.spec},
                                             {u"<spec_value>", ScriptStringText(spec)},
                                             {u"<expression>", std::u16string(expression)},
                                             {u"<description>", ScriptStringText(description)}});
}

std::vector<SetParameter> ParametersOf(const std::u16string& parameters, const std::u16string& paramValues) {
    std::vector<SetParameter> rows;
    int count = ParamCount(parameters.c_str());
    for (int index = 0; index < count; ++index) {
        OwnedBstr name;
        OwnedBstr spec;
        if (!GetParamAt(&name.text, &spec.text, parameters.c_str(), index)) {
            continue;
        }
        SetParameter row{name.Text(), spec.Text(), {}};
        OwnedBstr value;
        if (!row.name.empty() && GetParam(nullptr, &value.text, paramValues.c_str(), row.name.c_str())) {
            row.value = value.Text();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::u16string ParamValuesOf(const std::vector<SetParameter>& rows) {
    OwnedBstr values;
    values.text = vr::AllocBstr(u"");
    for (const SetParameter& row : rows) {
        // A row that cannot be written (its text holds every kind of quote and bracket) is left out.
        (void)AppendParam(&values.text, row.name.c_str(), row.value.c_str(), u" ", false);
    }
    return values.Text();
}

std::u16string ComposeSetLine(std::u16string_view setTemplate, const SetParameter& row) {
    return ReplacePlaceholders(setTemplate,
                               {{u"<param>", row.name}, {u"<value>", ScriptStringText(row.value)}}) +
           u"\r\n";
}

ControlLayout LayOutControl(const ControlLayoutInput& input) {
    ControlLayout layout;
    int minimum = input.labelWidth + input.infoWidth + input.buttonWidth;
    for (const ControlLayoutInput::Row& row : input.rows) {
        minimum += row.nameWidth + row.infoWidth;
    }
    layout.width = std::max(input.width, minimum);
    int spare = layout.width - minimum;
    int rowCount = static_cast<int>(input.rows.size());
    int valueShare = 0;
    int rowShare = 0;
    if (rowCount == 0) {
        valueShare = input.hasValue ? spare : 0;
    } else {
        int shares = rowCount + (input.hasValue ? 1 : 0);
        rowShare = spare / shares;
        valueShare = input.hasValue ? rowShare : 0;
    }
    int left = input.x + input.labelWidth;
    if (input.hasValue) {
        layout.valueLeft = left;
        layout.valueWidth = valueShare;
        left += valueShare;
        layout.infoLeft = left;
        left += input.infoWidth;
    }
    for (const ControlLayoutInput::Row& row : input.rows) {
        ControlLayout::Row placed;
        placed.nameLeft = left;
        left += row.nameWidth;
        placed.editLeft = left;
        placed.editWidth = rowShare;
        left += rowShare;
        placed.infoLeft = left;
        left += row.infoWidth;
        layout.rows.push_back(placed);
    }
    layout.buttonLeft = left;
    layout.buttonWidth = input.buttonWidth > 0 ? input.x + layout.width - left : 0;
    return layout;
}
