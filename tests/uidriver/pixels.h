// The screen's pixels and the ink of a text in them, for tests that check
// what a window really shows. Any thread of a test program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace uidriver {

// The pixels, as 0x00RRGGBB and top row first, of a width x height bitmap
// that `draw` draws on through a memory DC; empty when the bitmap cannot be
// made or `draw` answers false.
std::vector<uint32_t> DrawnPixels(int width, int height, const std::function<bool(HDC)>& draw);

// Pixels of a screen rectangle, read from the screen itself; empty when it
// cannot be read.
std::vector<uint32_t> CaptureScreen(const RECT& rect);

// How many columns of a block of pixels (`width` wide) hold a dark one, from
// the first such column to the last: a text's strokes in the window text
// colour, which a frame's grey and white lines are not.
int InkColumns(const std::vector<uint32_t>& pixels, int width);

// The ink columns of `text` in a copy of `font`, in the window text colour
// on the button face, drawn where nothing cuts it; and the font's line
// height. -1 when it cannot be drawn.
int TextInk(HFONT font, const std::wstring& text, int* lineHeight);

// The ink columns the screen shows in `band`, read again for a while as
// long as they are not `expected`: the window may still be painting.
int InkOnScreen(const RECT& band, int expected);

} // namespace uidriver
