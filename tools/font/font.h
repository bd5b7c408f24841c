// A small bitmap font of our own (5 x 7 cells, capitals, digits, a little
// punctuation): the text in mkassets' default pictures and the labels of the
// capture tool's contact sheet, the same letters in both.
#pragma once

#include <cstdint>
#include <string_view>

namespace font {

constexpr int GLYPH_W = 5;
constexpr int GLYPH_H = 7;

// Row bits of a glyph, bit 4 the leftmost column; unknown characters are blank.
const uint8_t* glyph(char c);

// Width in cells of a text drawn with one column of spacing per glyph.
int text_width(std::string_view text);

}  // namespace font
