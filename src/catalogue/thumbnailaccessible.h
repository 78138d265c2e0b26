#pragma once

// What a screen reader sees of the thumbnail area: a list whose items are
// its cells, each named by its file's name and size, selected as the cell is
// and focused where the keyboard is.
namespace ThumbnailAccessible {

// Gives every thumbnail area that accessible list (once per program).
void Install();

} // namespace ThumbnailAccessible
