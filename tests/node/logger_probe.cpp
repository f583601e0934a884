// Writes log lines through the process logger, as told by its arguments:
// each argument is a level letter (d, i, w, e) with an optional repeat count,
// e.g. "d130" or "i" "w" "i" "e".
#include <cstdlib>
#include <string>

#include "quorvane_object_detect/logger.hpp"

int main(int argc, char ** argv)
{
  int line = 0;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    const int repeat = arg.size() > 1 ? std::atoi(arg.c_str() + 1) : 1;
    for (int r = 0; r < repeat; ++r) {
      ++line;
      switch (arg[0]) {
        case 'd': QLOG_DEBUG("probe line {}", line); break;
        case 'i': QLOG_INFO("probe line {}", line); break;
        case 'w': QLOG_WARN("probe line {}", line); break;
        default: QLOG_ERROR("probe line {}", line); break;
      }
    }
  }
  return 0;
}
