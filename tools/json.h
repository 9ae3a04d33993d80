// JSON output for scripts: one object a line, strings escaped as JSON
// requires; bytes that are not valid UTF-8 become U+FFFD.

#ifndef TARVIS_TOOLS_JSON_H_
#define TARVIS_TOOLS_JSON_H_

#include <string>

// The text as a quoted JSON string.
std::string JsonString(const std::string& text);

// Builds one JSON object, member by member.
class JsonObjectT {
 public:
  JsonObjectT& Add(const std::string& name, const std::string& value);
  JsonObjectT& Add(const std::string& name, unsigned long value);
  JsonObjectT& Add(const std::string& name, double value);
  // A value already written as JSON.
  JsonObjectT& AddRaw(const std::string& name, const std::string& json);
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  void Name(const std::string& name);
  std::string body_;
};

#endif  // TARVIS_TOOLS_JSON_H_
