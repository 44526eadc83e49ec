#include "GetLinks.h"

std::vector<std::string> GetImageLinks(const std::string&) { return {}; }
