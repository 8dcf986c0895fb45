#pragma once
// The GSM 7-bit default alphabet (3GPP TS 23.038) and its extension table,
// for the station's 8-bit (Latin-1) texts. A character of the extension
// table travels as ESC plus its code and so counts as two septets.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using Septets = std::vector<uint8_t>;
constexpr uint8_t kGsmEscape = 0x1B;

// Latin-1 to septets; a character in neither table becomes "?".
Septets Latin1ToGsm7(const std::string& text);
// Septets to Latin-1 as a phone shows them; characters with no Latin-1 form
// (the Greek capitals, the euro sign) become "?".
std::string Gsm7ToLatin1(const Septets& septets);
// Septets of a text without building them.
std::size_t Gsm7Length(const std::string& text);
// The longest beginning of `text` that fits in `maxSeptets`.
std::string CutToSeptets(const std::string& text, std::size_t maxSeptets);
