#pragma once

#include <stdexcept>
#include <string>

namespace ament_index_cpp
{

/// Raised when no prefix of AMENT_PREFIX_PATH registers the package.
class PackageNotFoundError : public std::out_of_range
{
public:
  explicit PackageNotFoundError(const std::string & package_name);
  ~PackageNotFoundError() override;

  const std::string package_name;
};

/// The installation prefix of the package.  Raises PackageNotFoundError.
std::string get_package_prefix(const std::string & package_name);

}  // namespace ament_index_cpp
