#pragma once

#include <atomic>

namespace rclcpp_lifecycle
{

// Something a managed node switches on and off with its activation.
class ManagedEntityInterface
{
public:
  virtual ~ManagedEntityInterface() = default;
  virtual void on_activate() = 0;
  virtual void on_deactivate() = 0;
};

class SimpleManagedEntity : public ManagedEntityInterface
{
public:
  ~SimpleManagedEntity() override = default;
  void on_activate() override {activated_.store(true);}
  void on_deactivate() override {activated_.store(false);}
  bool is_activated() const {return activated_.load();}

private:
  std::atomic<bool> activated_{false};
};

}  // namespace rclcpp_lifecycle
