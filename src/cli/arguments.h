// The command line of vexillo-cli: its words split into the command's
// arguments and its options, and the values of options and arguments read
// as the commands take them. Wrong usage raises UsageError.
#pragma once

#include "platform/gdi.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vexillo {

// Wrong usage: the message is said with a hint, and the status is 2.
struct UsageError {
    std::string message;
};

struct Arguments {
    // The command and its arguments, in order.
    std::vector<std::string> positional;
    // Each option given, with its value ("1" for a flag).
    std::map<std::string, std::string> options;
};

// What the command line asks before any command: the usage or the version.
enum class Request { Command, Help, Version };

Request requestOf(int argc, char **argv);

// Options may stand anywhere, as --name VALUE or --name=VALUE; "--" ends
// them, and "-" is an argument (standard output).
Arguments parseArguments(int argc, char **argv);

// The value of an option the command cannot do without.
const std::string &requiredOption(const Arguments &args, const std::string &name, const char *what);

// A colour written RRGGBB (or #RRGGBB), for --back.
TColor parseColor(const std::string &text);

// INDEX of an image, from 0.
int parseIndex(const std::string &text);

// The command takes exactly `count` words, itself included.
void expectCount(const Arguments &args, size_t count);

// The file types of --types, all five without it.
uint32_t typesOption(const Arguments &args);

} // namespace vexillo
