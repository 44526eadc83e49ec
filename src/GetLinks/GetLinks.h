// Image link extractor.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> GetImageLinks(const std::string& Url);
