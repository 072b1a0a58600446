#include "nebuilder.h"

#include "crafted.h"

#include <algorithm>
#include <map>

namespace vexillo::test {

std::vector<uint8_t> MakeNeModule(const std::vector<NeResource> &resources, uint16_t shift, bool lengthsInBytes)
{
    // Types in their first order, each with its resources.
    std::vector<std::pair<const NeResource *, std::vector<const NeResource *>>> types;
    for (const NeResource &r : resources) {
        auto it = std::find_if(types.begin(), types.end(), [&](const auto &t) {
            return t.first->type == r.type && t.first->typeName == r.typeName;
        });
        if (it == types.end()) {
            types.push_back({&r, {}});
            it = types.end() - 1;
        }
        it->second.push_back(&r);
    }
    // The table: shift, records, type 0, then the names and a 0 byte.
    size_t recordsSize = 2 + 2;
    for (const auto &t : types)
        recordsSize += 8 + 12 * t.second.size();
    std::vector<uint8_t> names;
    std::map<std::string, uint16_t> nameAt;
    auto name = [&](const std::string &text) {
        if (!nameAt.count(text)) {
            nameAt[text] = static_cast<uint16_t>(recordsSize + names.size());
            names.push_back(static_cast<uint8_t>(text.size()));
            names.insert(names.end(), text.begin(), text.end());
        }
        return nameAt[text];
    };
    for (const NeResource &r : resources) {
        if (!r.typeName.empty())
            name(r.typeName);
        if (!r.name.empty())
            name(r.name);
    }
    names.push_back(0);
    const size_t tableAt = 0x80;
    const uint64_t unit = uint64_t{1} << shift;
    uint64_t dataAt = (tableAt + recordsSize + names.size() + unit - 1) / unit * unit;

    std::vector<uint8_t> table;
    PutU16(table, shift);
    std::vector<uint8_t> data;
    for (const auto &t : types) {
        PutU16(table,
               t.first->typeName.empty() ? static_cast<uint16_t>(0x8000 | t.first->type) : name(t.first->typeName));
        PutU16(table, static_cast<uint16_t>(t.second.size()));
        PutU32(table, 0);
        for (const NeResource *r : t.second) {
            const uint64_t units = (r->bytes.size() + unit - 1) / unit;
            PutU16(table, static_cast<uint16_t>((dataAt + data.size()) / unit));
            PutU16(table, static_cast<uint16_t>(lengthsInBytes ? r->bytes.size() : units));
            PutU16(table, 0x1C30);
            PutU16(table, r->name.empty() ? static_cast<uint16_t>(0x8000 | r->number) : name(r->name));
            PutU32(table, 0);
            data.insert(data.end(), r->bytes.begin(), r->bytes.end());
            data.resize(data.size() + units * unit - r->bytes.size(), 0);
        }
    }
    PutU16(table, 0);
    table.insert(table.end(), names.begin(), names.end());

    std::vector<uint8_t> file(0x80, 0);
    file[0] = 'M', file[1] = 'Z', file[0x3C] = 0x40;
    file[0x40] = 'N', file[0x41] = 'E';
    file[0x64] = 0x40;                                                  // ne_rsrctab
    const uint16_t restab = static_cast<uint16_t>(0x40 + table.size()); // ne_restab
    file[0x66] = static_cast<uint8_t>(restab), file[0x67] = static_cast<uint8_t>(restab >> 8);
    file[0x7E] = 0x00, file[0x7F] = 0x03; // ne_expver: Windows 3.0
    file.insert(file.end(), table.begin(), table.end());
    file.resize(dataAt, 0);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

} // namespace vexillo::test
