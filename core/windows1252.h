// Windows-1252, the code page of the suite's documents and passwords: the report's "\'hh"
// escapes and the code of a password's first character are taken in it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace msu {

// The Windows-1252 byte of the Unicode character `code`, or nothing when the code page has
// none (the five unused bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D stand for no character).
std::optional<unsigned char> ToWindows1252(char32_t code);

// The Windows-1252 upper case of a byte of the code page: a-z, the accented letters 0xE0-0xFE
// (not 0xF7, the division sign), and š, œ, ž, ÿ; every other byte is its own upper case.
unsigned char UpperWindows1252(unsigned char byte);

// The Windows-1252 upper case of the first character of `text` (UTF-8, or a Windows-1252
// byte that starts no UTF-8 sequence), written as it came: a UTF-8 character as UTF-8 ("ä" ->
// "Ä", "ÿ" -> "Ÿ"), a lone byte as its upper-case byte; a character the code page does not
// hold stays as it is. `*length` (may be null) receives the bytes the character took in
// `text`. Empty text gives empty text.
std::string UpperFirstCharacter(std::string_view text, size_t* length = nullptr);

// Reads the UTF-8 character that starts at `text[*at]` and moves `*at` past it. A byte that
// starts no valid UTF-8 sequence is returned as itself (taken as Windows-1252, as text from the
// suite's older databases is) and only it is passed.
char32_t NextCharacter(std::string_view text, size_t* at);

}  // namespace msu
