// What a reader met in a file and worked around, one line each, for whoever
// asks (vexillo-cli info): a group naming a missing image, an NE length
// counted in bytes, a RIFF size past the end. A reader handed no notes
// (nullptr) builds no text at all. Lines said twice are kept once, and at
// most kMaxReadNotes are kept, so a file cannot make the list grow without
// bound.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vexillo {

inline constexpr size_t kMaxReadNotes = 1000;

class ReadNotes {
public:
    void Add(std::string line)
    {
        if (FSeen.count(line))
            return;
        if (FLines.size() >= kMaxReadNotes) {
            ++FDropped;
            return;
        }
        FSeen.insert(line);
        FLines.push_back(std::move(line));
    }
    const std::vector<std::string> &Lines() const { return FLines; }
    // How many distinct lines were left out past kMaxReadNotes.
    uint64_t Dropped() const { return FDropped; }

private:
    std::vector<std::string> FLines;
    std::set<std::string> FSeen;
    uint64_t FDropped = 0;
};

} // namespace vexillo
