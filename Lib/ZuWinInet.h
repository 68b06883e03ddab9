// Base URL plus a possibly relative URL gives an absolute URL; empty when the
// two cannot be combined.
#pragma once

#include <string>

std::string CombineUrl(const std::string &baseUrl, const std::string &url);
