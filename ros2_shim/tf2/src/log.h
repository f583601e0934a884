#ifndef TF2_SRC_LOG_H_
#define TF2_SRC_LOG_H_

#include <string>

namespace tf2
{
namespace detail
{

// The buffer has no node to log through; its rejections go to stderr.
void logBufferMessage(const char * severity, const std::string & text);

}  // namespace detail
}  // namespace tf2

#endif  // TF2_SRC_LOG_H_
