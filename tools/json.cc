// JSON output; see json.h.

#include "json.h"

#include <cstdint>
#include <cstdio>

#include "tokenizer.h"

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  while (p < end) {
    uint32_t c;
    size_t n = DecodeUtf8(p, end, &c);
    // DecodeUtf8 reads a stray byte as Latin-1; JSON wants valid UTF-8.
    if (n == 1 && *p >= 0x80) c = 0xFFFD;
    p += n;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          AppendUtf8(&out, c);
        }
    }
  }
  return out + "\"";
}

void JsonObjectT::Name(const std::string& name) {
  if (!body_.empty()) body_ += ",";
  body_ += JsonString(name) + ":";
}

JsonObjectT& JsonObjectT::Add(const std::string& name,
                              const std::string& value) {
  Name(name);
  body_ += JsonString(value);
  return *this;
}

JsonObjectT& JsonObjectT::Add(const std::string& name, unsigned long value) {
  Name(name);
  body_ += std::to_string(value);
  return *this;
}

JsonObjectT& JsonObjectT::Add(const std::string& name, double value) {
  Name(name);
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  body_ += text;
  return *this;
}

JsonObjectT& JsonObjectT::AddRaw(const std::string& name,
                                 const std::string& json) {
  Name(name);
  body_ += json;
  return *this;
}
