#include "cli/arguments.h"

#include "catalogue/filenames.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace vexillo {

namespace {

// Options that take a value; any other word starting with "-" is unknown.
const std::set<std::string> kValueOptions = {"--back", "--group", "--types", "--out", "--name"};
// Options that take no value.
const std::set<std::string> kFlagOptions = {"--png", "--force", "--numbered", "--cursors", "--json"};

uint32_t parseTypes(const std::string &list)
{
    uint32_t mask = 0;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string word = list.substr(start, comma - start);
        const uint32_t bit = FileTypeOf("." + word);
        if (word.empty() || word.find('.') != std::string::npos || bit == 0)
            throw UsageError{"--types takes exe, dll, ico, cpl, ocx, icl, mun, scr, cur and ani, not \"" + word + "\""};
        mask |= bit;
        start = comma + 1;
    }
    return mask;
}

} // namespace

Request requestOf(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--")
            break;
        if (word == "-h" || word == "--help")
            return Request::Help;
        if (word == "--version")
            return Request::Version;
    }
    return Request::Command;
}

Arguments parseArguments(int argc, char **argv)
{
    Arguments args;
    bool onlyPositional = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (onlyPositional || word.size() < 2 || word[0] != '-') {
            args.positional.push_back(word); // "-" too: standard output
        } else if (word == "--") {
            onlyPositional = true;
        } else if (word.rfind("--", 0) != 0) {
            throw UsageError{"unknown option '" + word + "'"};
        } else {
            std::string name = word, value;
            const size_t eq = word.find('=');
            const bool inlineValue = eq != std::string::npos;
            if (inlineValue) {
                name = word.substr(0, eq);
                value = word.substr(eq + 1);
            }
            if (kFlagOptions.count(name)) {
                if (inlineValue)
                    throw UsageError{"option '" + name + "' takes no value"};
                args.options[name] = "1";
                continue;
            }
            if (!kValueOptions.count(name))
                throw UsageError{"unknown option '" + name + "'"};
            if (!inlineValue) {
                if (i + 1 >= argc)
                    throw UsageError{"option '" + name + "' needs a value"};
                value = argv[++i];
            }
            args.options[name] = value;
        }
    }
    return args;
}

const std::string &requiredOption(const Arguments &args, const std::string &name, const char *what)
{
    const auto it = args.options.find(name);
    if (it == args.options.end() || it->second.empty())
        throw UsageError{"'" + args.positional[0] + "' needs " + name + " " + what};
    return it->second;
}

TColor parseColor(const std::string &text)
{
    std::string hex = text;
    if (!hex.empty() && hex[0] == '#')
        hex.erase(0, 1);
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw UsageError{"--back needs a colour as RRGGBB, not \"" + text + "\""};
    const unsigned long rgb = std::strtoul(hex.c_str(), nullptr, 16);
    return RGBColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

int parseIndex(const std::string &text)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError{"INDEX must be a number from 0, not \"" + text + "\""};
    return std::atoi(text.c_str());
}

void expectCount(const Arguments &args, size_t count)
{
    const auto plural = [](size_t n) { return std::to_string(n) + (n == 1 ? " argument" : " arguments"); };
    if (args.positional.size() != count)
        throw UsageError{"'" + args.positional[0] + "' takes " + plural(count - 1) + ", not " +
                         std::to_string(args.positional.size() - 1)};
}

uint32_t typesOption(const Arguments &args)
{
    const auto it = args.options.find("--types");
    return it == args.options.end() ? ftSearchDefault : parseTypes(it->second);
}

} // namespace vexillo
