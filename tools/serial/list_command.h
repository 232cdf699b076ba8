#pragma once

#include <string>
#include <vector>

namespace zorvan::serial_tool {

// zorvan-serial list [-v] [--json] [--watch] [FILTER]: args are the words after "list".
int runList(const std::vector<std::string>& args);

}  // namespace zorvan::serial_tool
