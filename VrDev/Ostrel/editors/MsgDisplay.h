// How a message sample is shown: blanks and line ends made visible, positions mapped between the sample and
// the shown text, and the colour of each marked token.
//
// Text: samples and shown texts are Latin-1 (one byte per character, as the definition keeps them). A
// carriage return shows as a not sign (0xAC), a line feed as a pilcrow (0xB6) before the line feed itself,
// a blank as a middle dot (0xB7); so only line feeds make the shown text longer.
// Threads: plain functions without state; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CMsgTypeDef;

namespace ostrel {

// The sample as the editor shows it.
std::string DisplayTextOf(std::string_view sample);

enum class MapDirection { ToDisplay = 0, ToSample = 1 };
// Converts a span between sample and shown positions, given the shown text. Positions of -1 (no selection)
// are left as they are; an empty shown text leaves both as they are.
void MapPositions(std::string_view displayText, int* begin, int* end, MapDirection direction);

// How a span of the shown text is drawn.
enum class TokenLook {
    Key = 0,    // a token whose name begins with "_": constant keys, gaps, the terminator (blue)
    Value = 1,  // a value or enumeration (green)
    Group = 2,  // a repeated group, from its begin to its end record (italic, colour kept)
    Failed = 3, // the token at which the definition failed (red)
};

struct TokenSpan {
    TokenLook look = TokenLook::Key;
    int begin = 0; // shown positions
    int end = 0;
};

// The looks of every placed record of the definition, in record order, in shown positions. A token without a
// name gets no look (it stays grey); its description is traced as a warning.
std::vector<TokenSpan> TokenSpansOf(const CMsgTypeDef& definition, std::string_view displayText);

} // namespace ostrel
