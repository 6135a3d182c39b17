// The control object's logic without windows: the display format of its value, its refresh text from the
// get template, the Set script from the set template, and the layout of its one line of windows.
//
// Threads: plain functions on their arguments; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Replaces every occurrence of from by to, left to right (a replacement is never looked at again).
std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to);

// A placeholder of a template and its replacement.
struct Placeholder {
    std::u16string_view name;
    std::u16string text;
};
// Replaces the placeholders in one pass over the template: a replacement text is never searched again, so a
// value that holds "<expression>" stays as it is.
std::u16string ReplacePlaceholders(std::u16string_view text, const std::vector<Placeholder>& placeholders);

// A configuration template's text as stored: the two-character sequences "\r" and "\n" become a carriage
// return and a line feed.
std::u16string UnescapeTemplate(std::u16string_view stored);

// A text for a double-quoted or single-quoted script string literal: backslash, both quotes, carriage return
// and line feed are escaped, so an entered value or a spec cannot end the literal and run as script.
std::u16string ScriptStringText(std::u16string_view text);

// What a display format does with a value.
enum class DisplayFormatKind {
    None,    // empty format: the text is shown as it comes
    Integer, // one integer or character conversion: the number truncated toward zero
    Floating,
    Invalid, // anything else: no conversion, more than one, strings, %n, '*', 64-bit integers
};
// Checks a format from the panel file before it is used with a number.
DisplayFormatKind CheckDisplayFormat(const std::u16string& format);

// The text the value window shows for the script's value text: formatted when the format is valid and the
// text is a number (followed only by blanks, tabs, CR and LF; empty or all blank counts as 0, ±HUGE_VAL
// does not count), else the text unchanged. An Invalid format gives no text (nullopt): the caller reports it.
std::optional<std::u16string> FormatDisplayValue(const std::u16string& format, const std::u16string& text);

// The script variables of a control object named name: "rt_value<name>", "rt_valid<name>", "rt_spec<name>".
struct ControlVariables {
    std::u16string value;
    std::u16string valid;
    std::u16string spec;
};
ControlVariables VariablesOf(std::u16string_view name);

// The get template with its placeholders filled (in one pass): <value>, <valid>, <spec>, <spec_value>
// (escaped for a string literal), <expression>, <description> (escaped for a string literal).
std::u16string ComposeGetScript(std::u16string_view getTemplate, const ControlVariables& variables,
                                std::u16string_view spec, std::u16string_view expression,
                                std::u16string_view description);

// One Set parameter row: the name and validation spec from the object's parameters, the entered value.
struct SetParameter {
    std::u16string name;
    std::u16string spec;
    std::u16string value;
};

// The rows of an object's parameters option string, with each row's current value from paramvalues.
std::vector<SetParameter> ParametersOf(const std::u16string& parameters, const std::u16string& paramValues);
// The paramvalues option string of the rows' entered values (name and value, blank separated); rows whose
// name or value cannot be written are left out.
std::u16string ParamValuesOf(const std::vector<SetParameter>& rows);

// The set template's line for one row: <param> by the name, <value> by the value (escaped for a string
// literal), followed by CR LF.
std::u16string ComposeSetLine(std::u16string_view setTemplate, const SetParameter& row);

// The layout of a control object's line: the caption label, the value window, the info static, the rows
// and the button, left to right.
struct ControlLayoutInput {
    int x = 0;
    int width = 0;
    int labelWidth = 0;    // 0: no caption label
    bool hasValue = false; // a value window stands after the label
    int infoWidth = 0;     // the value's info static; 0: none
    struct Row {
        int nameWidth = 0; // the static "name="
        int infoWidth = 0; // the static with the info text (and ","); 0: none
    };
    std::vector<Row> rows;
    int buttonWidth = 0; // 0: no button
};
struct ControlLayout {
    int width = 0; // the object's width, grown to the minimum when it was narrower
    int valueLeft = 0;
    int valueWidth = 0;
    int infoLeft = 0;
    struct Row {
        int nameLeft = 0;
        int editLeft = 0;
        int editWidth = 0; // the edit is made only when it gets at least kMinEditWidth
        int infoLeft = 0;
    };
    std::vector<Row> rows;
    int buttonLeft = 0;
    int buttonWidth = 0;
};
inline constexpr int kMinEditWidth = 6;
ControlLayout LayOutControl(const ControlLayoutInput& input);
