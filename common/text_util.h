#pragma once
// Small text helpers. Text is bytes: every length counts bytes, UTF-8 passes through unchanged.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cv2 {

// Removes characters of code 32 or below from both ends (the original's Trim).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// Lower-cases or upper-cases the letters A to Z only; every other byte is kept.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
bool IEquals(std::string_view a, std::string_view b);
bool IStartsWith(std::string_view text, std::string_view prefix);

// Strict integer conversions in the manner of the original's StrToInt: optional sign, decimal
// digits or a "$"/"0x" hexadecimal prefix, surrounding blanks allowed, nothing else.
std::optional<int32_t> ParseInt32(std::string_view text);
// Hexadecimal digits only (either case), at most 8 of them, no sign and no prefix.
std::optional<uint32_t> ParseHex32(std::string_view text);

// Four (or any number of) upper-case hexadecimal digits, zero padded.
std::string HexUpper(uint32_t value, int digits);

// Splits at a separator; an empty text gives one empty part.
std::vector<std::string> Split(std::string_view text, char separator);
std::string Join(const std::vector<std::string>& parts, std::string_view separator);

}  // namespace cv2
