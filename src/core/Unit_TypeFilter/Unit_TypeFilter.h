// The type filters of the processed list: which addresses end in an image
// extension. Shared by the window's filter buttons and pixvane-get --type.
#pragma once

#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

// The extension pattern of a typed extension: A-Z lower-cased, every "."
// removed, one "." put in front. gif, GIF, .gif and ..gif all give ".gif";
// a blank stays part of the pattern. An empty text gives ".".
std::string TypePattern(std::string_view typed);

// True when the address without its query and fragment (what comes from the
// first "?" or "#" on), A-Z lower-cased, ends in pattern: its last bytes, as
// many as the pattern has (fewer when the cut would split a character), equal
// the pattern. ".../c.jpg?w=200" is a jpg.
bool EndsInPattern(std::string_view address, std::string_view pattern);

// True when the address ends in any of the patterns.
bool IsOfType(std::string_view address, const std::vector<std::string>& patterns);

// The addresses that end in any of the patterns, unchanged and in order.
QStringList AddressesOfType(const QStringList& addresses, const std::vector<std::string>& patterns);
