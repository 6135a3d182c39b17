// The criteria of Recordset::Find: "<column> <operator> <value>", and whether a value meets them.
#pragma once

#include "platform/ado/odbc_calls.h"

#include <optional>
#include <string>
#include <string_view>

namespace vr::ado {

struct FindCriterion {
    enum class Operator { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual, Like };
    std::u16string column;
    Operator op = Operator::Equal;
    std::u16string text;          // the value as written, unquoted
    std::optional<double> number; // the value as a number, when it reads as one
};

// Raises adErrInvalidArgument when the criteria do not read as one comparison.
FindCriterion ParseFindCriterion(std::u16string_view criteria);

// NULL meets nothing. A number meets a numeric value by size; text compares without regard to case.
bool Meets(const FindCriterion& criterion, const odbc::Cell& value);

} // namespace vr::ado
