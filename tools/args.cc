// Command-line parsing; see args.h.

#include "args.h"

#include <cerrno>
#include <cstdlib>

#include "tool_error.h"

namespace {

const OptionT* FindOption(const std::vector<OptionT>& options,
                          const std::string& name, char letter) {
  for (const OptionT& option : options) {
    if (letter != 0 ? option.Letter == letter : name == option.Name) {
      return &option;
    }
  }
  return nullptr;
}

// A decimal number, with a binary multiplier K, M or G behind it when
// multipliers are allowed; false when text is not one or it overflows.
bool ParseCount(const std::string& text, bool multipliers,
                unsigned long long* value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoull(text.c_str(), &end, 10);
  unsigned shift = 0;
  if (multipliers && *end != '\0' && end[1] == '\0') {
    switch (*end) {
      case 'k': case 'K': shift = 10; ++end; break;
      case 'm': case 'M': shift = 20; ++end; break;
      case 'g': case 'G': shift = 30; ++end; break;
      default: break;
    }
  }
  if (*end != '\0' || errno != 0 || (*value << shift >> shift) != *value) {
    return false;
  }
  *value <<= shift;
  return true;
}

}  // namespace

ArgsT::ArgsT(const std::vector<OptionT>& options,
             const std::vector<std::string>& args) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      help_ = true;
      continue;
    }
    const OptionT* option = nullptr;
    std::string value;
    bool hasValue = false;
    if (arg[1] == '-') {
      std::string name = arg.substr(2);
      size_t equals = name.find('=');
      if (equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.resize(equals);
        hasValue = true;
      }
      option = FindOption(options, name, 0);
    } else if (arg.size() == 2) {
      option = FindOption(options, "", arg[1]);
    } else if (arg[1] >= '0' && arg[1] <= '9') {
      // A negative number or "-1" is an argument, not an option.
      positional_.push_back(arg);
      continue;
    }
    if (option == nullptr) {
      UsageError("unknown option '" + arg + "'");
    }
    if (option->TakesValue && !hasValue) {
      if (i + 1 >= args.size()) {
        UsageError(std::string("option '--") + option->Name +
                   "' needs a value");
      }
      value = args[++i];
    } else if (!option->TakesValue && hasValue) {
      UsageError(std::string("option '--") + option->Name +
                 "' takes no value");
    }
    values_[option->Name] = value;
  }
}

bool ArgsT::Has(const std::string& name) const {
  return values_.count(name) != 0;
}

std::string ArgsT::Value(const std::string& name,
                         const std::string& fallback) const {
  auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

unsigned long ArgsT::Number(const std::string& name, unsigned long fallback,
                            unsigned long low, unsigned long high) const {
  return Count(name, fallback, low, high, false);
}

unsigned long ArgsT::Bytes(const std::string& name, unsigned long fallback,
                           unsigned long low, unsigned long high) const {
  return Count(name, fallback, low, high, true);
}

unsigned long ArgsT::Count(const std::string& name, unsigned long fallback,
                           unsigned long low, unsigned long high,
                           bool size) const {
  auto it = values_.find(name);
  if (it == values_.end()) return fallback;
  unsigned long long value = 0;
  if (!ParseCount(it->second, size, &value) || value < low || value > high) {
    UsageError("--" + name + " needs a " + (size ? "size" : "number") +
               " from " + std::to_string(low) + " to " +
               std::to_string(high) +
               (size ? " bytes (a number, or one followed by K, M or G)"
                     : "") +
               ", not '" + it->second + "'");
  }
  return static_cast<unsigned long>(value);
}

void ArgsT::ExpectPositional(size_t low, size_t high, const char* what) const {
  if (positional_.size() < low) {
    UsageError(std::string("missing ") + what);
  }
  if (positional_.size() > high) {
    UsageError("unexpected argument '" + positional_[high] + "'");
  }
}

std::vector<std::string> ArgumentList(int argc, char** argv, int first) {
  std::vector<std::string> args;
  for (int i = first; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}
