// Hex: bytes as pairs of hexadecimal digits, the form `widget-host defaults` reads
// (--data) and writes (data values) so that any bytes can be typed and compared.
#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace host {

// Two lower-case digits per byte.
std::string hexDigits(std::string_view bytes);

// The bytes that `digits` stand for (upper or lower case, nothing else). Fails with
// what is wrong and where: an odd number of digits, or the first character that is
// not a hex digit, with its offset.
std::expected<std::string, std::string> bytesFromHex(std::string_view digits);

}  // namespace host
