#pragma once

#include <string>

namespace kiv {

// How both front ends show a text that came from outside (a value the user
// gave, a path, a system's reason) in a line of a message or on standard
// error: characters a terminal acts on instead of showing, and bytes that
// are not UTF-8, are written as \xHH, byte by byte, so that such a text can
// neither start a second line, nor move or recolour what is already on the
// screen, nor turn round the text after it.

// A value as it may appear inside a one-line message: in double quotes,
// with quotes and backslashes in it escaped, long texts cut at a character
// boundary.
std::string Quoted(const std::string& text);
// A whole message made safe for one line of a terminal: the same escapes as
// Quoted, nothing cut, no quotes added.
std::string OneLine(const std::string& text);
// A value cut for a message like Quoted, without the quotes (for a value
// that a system reason repeats in full).
std::string Shortened(const std::string& text);

}  // namespace kiv
