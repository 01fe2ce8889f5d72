// The rule for a symbol a host hands the component. A symbol ends up verbatim in a line of the
// wire form, so the separators of that form (';' between fields, '|' after the type), control
// characters (CR and LF end a line) and overlong text are refused before anything is sent or
// looked up. Used by every call of the service object that takes a symbol; the command line can
// apply the same rule to what its user types.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vok {

// The longest symbol accepted, in bytes of its narrow text.
inline constexpr std::size_t kMaxSymbolLength = 64;

// Blanks at both ends trimmed and upper-cased into `symbol`. False when the result is empty,
// longer than kMaxSymbolLength, holds ';', '|' or a control character (below 0x20, or 0x7f), or
// is "+" or "/" alone (a bare option or index prefix).
bool NormaliseSymbol(std::string_view text, std::string& symbol);

// For calls that keep the host's exact text (borrow rates, underlier lookups): case and blanks
// stay, but the same separators, control characters and length are refused.
bool IsSafeExactSymbol(std::string_view text);

}  // namespace vok
