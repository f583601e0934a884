#include "log.h"

#include <cstdio>

#include "tf2/time.h"

namespace tf2
{
namespace detail
{

void logBufferMessage(const char * severity, const std::string & text)
{
  std::fprintf(
    stderr, "[%s] [%s] [tf2_buffer]: %s\n", severity,
    displayTimePoint(get_now()).c_str(), text.c_str());
}

}  // namespace detail
}  // namespace tf2
