#include "Unit_TypeFilter.h"

#include <algorithm>
#include <cstdint>

#include "Unit_Function.h"

std::string TypePattern(std::string_view typed) {
  std::string extension = AsciiLower(typed);
  std::erase(extension, '.');
  return "." + extension;
}

bool EndsInPattern(std::string_view address, std::string_view pattern) {
  const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(pattern.size(), 65535));
  const std::string_view path = address.substr(0, address.find_first_of("?#"));
  return RightChars(AsciiLower(path), length) == pattern;
}

bool IsOfType(std::string_view address, const std::vector<std::string>& patterns) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [&](const std::string& pattern) { return EndsInPattern(address, pattern); });
}

QStringList AddressesOfType(const QStringList& addresses,
                            const std::vector<std::string>& patterns) {
  QStringList passed;
  for (const QString& address : addresses)
    if (IsOfType(address.toStdString(), patterns)) passed << address;
  return passed;
}
