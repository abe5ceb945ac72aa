#pragma once

#include <string>
#include <string_view>

namespace station {

// Protocol names come from files written on whatever the bench PC ran before: UTF-8, or the
// Windows single-byte code page (1252) of a Western European desktop. Returns `text` as it is
// when it is well-formed UTF-8, else reads it as Windows-1252, so that "€", "–" and "’" show as
// themselves rather than as control characters.
std::string asUtf8(std::string_view text);

} // namespace station
