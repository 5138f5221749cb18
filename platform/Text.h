// Text conversions between the encodings the system meets: UTF-8 (our internal text),
// UTF-16 (how the system counts lengths), Windows-1252 (the ANSI code page) and 437 (OEM).
// Invalid input never fails: it decodes to U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// The number of UTF-16 code units the UTF-8 text takes.
size_t Utf16Length(std::string_view utf8);
bool IsValidUtf8(std::string_view bytes);

std::string Cp1252ToUtf8(std::string_view bytes);
std::string Cp437ToUtf8(std::string_view bytes);
// UTF-8 to Windows-1252; characters the code page lacks become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// UTF-16 bytes in the given byte order to UTF-8; an odd last byte is dropped.
std::string Utf16BytesToUtf8(std::string_view bytes, bool bigEndian);

// ASCII case folding, the same under every locale (std::tolower follows the user's, which turns
// "I" into a dotless i in a Turkish one): "A".."Z" become "a".."z", every other byte or code
// unit stays as it is, those of UTF-8 sequences included.
constexpr char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}
std::string AsciiLower(std::string_view text);

// Whether text starts with "http://" or "https://" in any ASCII case: the only addresses the
// program hands to the shell as a web page, and the one rule a repository check applies too.
bool IsWebAddress(std::string_view text);

}  // namespace varnel
