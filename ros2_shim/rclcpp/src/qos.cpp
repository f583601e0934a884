#include "rclcpp/qos.hpp"

namespace rclcpp
{

QoSInitialization::QoSInitialization(HistoryPolicy history_policy_arg, size_t depth_arg)
: history_policy(history_policy_arg), depth(depth_arg) {}

KeepAll::KeepAll()
: QoSInitialization(HistoryPolicy::KeepAll, 0) {}

KeepLast::KeepLast(size_t depth)
: QoSInitialization(HistoryPolicy::KeepLast, depth) {}

QoS::QoS(const QoSInitialization & qos_initialization)
: history_(qos_initialization.history_policy), depth_(qos_initialization.depth) {}

QoS::QoS(size_t history_depth)
: QoS(KeepLast(history_depth)) {}

QoS & QoS::history(HistoryPolicy history)
{
  history_ = history;
  return *this;
}

QoS & QoS::keep_last(size_t depth)
{
  history_ = HistoryPolicy::KeepLast;
  depth_ = depth;
  return *this;
}

QoS & QoS::keep_all()
{
  history_ = HistoryPolicy::KeepAll;
  depth_ = 0;
  return *this;
}

QoS & QoS::reliability(ReliabilityPolicy reliability)
{
  reliability_ = reliability;
  return *this;
}

QoS & QoS::reliable() {return reliability(ReliabilityPolicy::Reliable);}
QoS & QoS::best_effort() {return reliability(ReliabilityPolicy::BestEffort);}

QoS & QoS::durability(DurabilityPolicy durability)
{
  durability_ = durability;
  return *this;
}

QoS & QoS::durability_volatile() {return durability(DurabilityPolicy::Volatile);}
QoS & QoS::transient_local() {return durability(DurabilityPolicy::TransientLocal);}

HistoryPolicy QoS::history() const {return history_;}
size_t QoS::depth() const {return depth_;}
ReliabilityPolicy QoS::reliability() const {return reliability_;}
DurabilityPolicy QoS::durability() const {return durability_;}

bool QoS::operator==(const QoS & other) const
{
  return history_ == other.history_ && depth_ == other.depth_ &&
         reliability_ == other.reliability_ && durability_ == other.durability_;
}

bool QoS::operator!=(const QoS & other) const {return !(*this == other);}

QoSCheckCompatibleResult qos_check_compatible(
  const QoS & publisher_qos, const QoS & subscription_qos)
{
  // System defaults resolve to reliable and volatile, as with the common DDS vendors.
  const bool offers_best_effort =
    publisher_qos.reliability() == ReliabilityPolicy::BestEffort;
  const bool requests_reliable =
    subscription_qos.reliability() != ReliabilityPolicy::BestEffort;
  if (offers_best_effort && requests_reliable) {
    return {QoSCompatibility::Error,
      "ERROR: Best effort publisher and reliable subscription;"};
  }
  const bool offers_volatile =
    publisher_qos.durability() != DurabilityPolicy::TransientLocal;
  const bool requests_transient_local =
    subscription_qos.durability() == DurabilityPolicy::TransientLocal;
  if (offers_volatile && requests_transient_local) {
    return {QoSCompatibility::Error,
      "ERROR: Volatile publisher and transient local subscription;"};
  }
  return {QoSCompatibility::Ok, ""};
}

SensorDataQoS::SensorDataQoS(const QoSInitialization & qos_initialization)
: QoS(qos_initialization)
{
  best_effort();
}

ParametersQoS::ParametersQoS(const QoSInitialization & qos_initialization)
: QoS(qos_initialization) {}

ServicesQoS::ServicesQoS(const QoSInitialization & qos_initialization)
: QoS(qos_initialization) {}

ParameterEventsQoS::ParameterEventsQoS(const QoSInitialization & qos_initialization)
: QoS(qos_initialization) {}

RosoutQoS::RosoutQoS(const QoSInitialization & qos_initialization)
: QoS(qos_initialization)
{
  transient_local();
}

ClockQoS::ClockQoS(const QoSInitialization & qos_initialization)
: QoS(qos_initialization)
{
  best_effort();
}

SystemDefaultsQoS::SystemDefaultsQoS(const QoSInitialization & qos_initialization)
: QoS(qos_initialization) {}

}  // namespace rclcpp
