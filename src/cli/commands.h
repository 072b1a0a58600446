// The commands of vexillo-cli, each a short run of library calls and what it
// prints, found by name in one table.
#pragma once

#include "cli/arguments.h"

#include <string>

namespace vexillo {

// A failure of the command: the message is said, and the status is 1.
struct Failure {
    std::string message;
};

// Writes "vexillo-cli: MESSAGE" on standard error, the message escaped
// (Printable): file and group names, from a file or the command line, may
// hold anything.
void say(const std::string &message);
// The same for a file: "FILE: reason".
void say(const std::string &fileName, const std::string &reason);

// Runs the command the arguments name and gives its exit status. Raises
// UsageError, Failure and the library's errors (EStreamError, ...).
int runCommand(const Arguments &args);

} // namespace vexillo
