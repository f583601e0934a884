#pragma once

#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <google/protobuf/struct.pb.h>

// JSON through protobuf's Struct and its JSON printer: valid escaping without
// a JSON library of our own.
namespace replay
{

using Json = google::protobuf::Struct;

google::protobuf::Value number(double value);
google::protobuf::Value text(const std::string & value);
google::protobuf::Value numbers(const std::vector<double> & values);
google::protobuf::Value list(const std::vector<google::protobuf::Value> & values);
google::protobuf::Value object(const Json & value);

// An object from key-value pairs.
Json json(std::initializer_list<std::pair<const char *, google::protobuf::Value>> fields);

std::string toJson(const Json & value, bool indent = false);

// One JSON object per line, flushed line by line so that an interrupted run
// keeps every whole line.
class JsonLines
{
public:
  explicit JsonLines(const std::string & file);
  void write(const Json & line);

private:
  std::ofstream out_;
};

}  // namespace replay
