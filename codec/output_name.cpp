#include "codec/output_name.h"

#include "platform/name_rules.h"

std::string outputName(std::string_view typedName, std::string_view stopChars,
                       std::string_view extension) {
  typedName = typedName.substr(0, nameLengthAsRead(typedName));
  const std::size_t cut = typedName.find_first_of(stopChars, folderPartLength(typedName));
  std::string name(typedName.substr(0, cut));
  name += '.';
  name += extension;
  return name;
}
