// Command-line parsing for the subcommands: long options ("--limit 5",
// "--limit=5"), single-letter aliases ("-n 5"), flags, "--" to end options,
// and positional arguments in between. Anything unknown is a usage error.

#ifndef TARVIS_TOOLS_ARGS_H_
#define TARVIS_TOOLS_ARGS_H_

#include <map>
#include <string>
#include <vector>

struct OptionT {
  const char* Name;     // long name without "--"
  char Letter;          // single-letter alias, or 0
  bool TakesValue;
};

class ArgsT {
 public:
  // Parses a subcommand's arguments. "--help" and "-h" are always known;
  // HelpRequested() tells whether one was given.
  ArgsT(const std::vector<OptionT>& options,
        const std::vector<std::string>& args);

  bool HelpRequested() const { return help_; }
  bool Has(const std::string& name) const;
  // The last value given for an option, or fallback.
  std::string Value(const std::string& name,
                    const std::string& fallback = "") const;
  // A decimal value; a usage error when it is not a number in [low, high].
  unsigned long Number(const std::string& name, unsigned long fallback,
                       unsigned long low, unsigned long high) const;
  // A size in bytes: a decimal number, optionally followed by K, M or G
  // (binary multiples, "64M" is 64 MiB); a usage error when it is not a
  // size in [low, high].
  unsigned long Bytes(const std::string& name, unsigned long fallback,
                      unsigned long low, unsigned long high) const;
  const std::vector<std::string>& Positional() const { return positional_; }
  // A usage error unless there are between low and high positional
  // arguments; names them for the message.
  void ExpectPositional(size_t low, size_t high, const char* what) const;

 private:
  // Number (size false) or Bytes (size true).
  unsigned long Count(const std::string& name, unsigned long fallback,
                      unsigned long low, unsigned long high, bool size) const;

  bool help_ = false;
  std::map<std::string, std::string> values_;
  std::vector<std::string> positional_;
};

// The arguments of main from index first on.
std::vector<std::string> ArgumentList(int argc, char** argv, int first);

#endif  // TARVIS_TOOLS_ARGS_H_
