#include "GetWebPage.h"

void GetWebPage(const std::string&, bool, std::string&) {}
