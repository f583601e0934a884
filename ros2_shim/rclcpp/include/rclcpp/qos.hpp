#pragma once

#include <cstddef>
#include <string>

namespace rclcpp
{

enum class HistoryPolicy {KeepLast, KeepAll, SystemDefault, Unknown};
enum class ReliabilityPolicy {BestEffort, Reliable, SystemDefault, Unknown};
enum class DurabilityPolicy {Volatile, TransientLocal, SystemDefault, Unknown};

/// History kind and depth, the part of a QoS every constructor needs.
struct QoSInitialization
{
  HistoryPolicy history_policy;
  size_t depth;

  QoSInitialization(HistoryPolicy history_policy_arg, size_t depth_arg);
};

struct KeepAll : public rclcpp::QoSInitialization
{
  KeepAll();
};

struct KeepLast : public rclcpp::QoSInitialization
{
  explicit KeepLast(size_t depth);
};

/// Quality of service of a publisher or subscription.  The in-process bus
/// honours history (keep-last queues of `depth`), reliability and durability
/// (transient-local replay); the other DDS policies do not exist here.
class QoS
{
public:
  explicit QoS(const QoSInitialization & qos_initialization);
  /// Keep-last with this depth, reliable, volatile.
  QoS(size_t history_depth);  // NOLINT: implicit as upstream

  QoS & history(HistoryPolicy history);
  QoS & keep_last(size_t depth);
  QoS & keep_all();
  QoS & reliability(ReliabilityPolicy reliability);
  QoS & reliable();
  QoS & best_effort();
  QoS & durability(DurabilityPolicy durability);
  QoS & durability_volatile();
  QoS & transient_local();

  HistoryPolicy history() const;
  size_t depth() const;
  ReliabilityPolicy reliability() const;
  DurabilityPolicy durability() const;

  bool operator==(const QoS & other) const;
  bool operator!=(const QoS & other) const;

private:
  HistoryPolicy history_ = HistoryPolicy::KeepLast;
  size_t depth_ = 10;
  ReliabilityPolicy reliability_ = ReliabilityPolicy::Reliable;
  DurabilityPolicy durability_ = DurabilityPolicy::Volatile;
};

/// Whether a publisher's offer meets a subscription's request, as DDS decides
/// it: best effort cannot serve reliable, volatile cannot serve transient local.
enum class QoSCompatibility {Ok, Warning, Error};

struct QoSCheckCompatibleResult
{
  QoSCompatibility compatibility;
  std::string reason;
};

QoSCheckCompatibleResult qos_check_compatible(const QoS & publisher_qos, const QoS & subscription_qos);

class SensorDataQoS : public QoS
{
public:
  explicit SensorDataQoS(const QoSInitialization & qos_initialization = KeepLast(5));
};

class ParametersQoS : public QoS
{
public:
  explicit ParametersQoS(const QoSInitialization & qos_initialization = KeepLast(1000));
};

class ServicesQoS : public QoS
{
public:
  explicit ServicesQoS(const QoSInitialization & qos_initialization = KeepLast(10));
};

class ParameterEventsQoS : public QoS
{
public:
  explicit ParameterEventsQoS(const QoSInitialization & qos_initialization = KeepLast(1000));
};

class RosoutQoS : public QoS
{
public:
  explicit RosoutQoS(const QoSInitialization & qos_initialization = KeepLast(1000));
};

class SystemDefaultsQoS : public QoS
{
public:
  explicit SystemDefaultsQoS(const QoSInitialization & qos_initialization = KeepLast(1));
};

class ClockQoS : public QoS
{
public:
  explicit ClockQoS(const QoSInitialization & qos_initialization = KeepLast(1));
};

}  // namespace rclcpp
